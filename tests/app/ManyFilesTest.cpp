// Thousands of files given to the window at once: they are probed off its thread, their rows come
// in the order given, its event loop is never held up for long, and the waiting queue costs
// little memory.
#include "MainWindowSupport.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The instrumented builds check the threads, not the speed or the memory.
constexpr bool kMeasured = false;
constexpr int kFiles = 300;
#else
constexpr bool kMeasured = true;
constexpr int kFiles = 2000;
#endif

// The load average of the last minute, per core.
double LoadPerCore() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load / std::max(1u, std::thread::hardware_concurrency());
}

// Resident memory of this process in MiB ("VmRSS" or "VmHWM" of /proc/self/status).
double MemoryMiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
    return -1;
}

TEST_F(MainWindowTest, ThousandsOfFilesKeepTheWindowAnsweringAndComeInOrder) {
    const std::string clip = MakeAviMpeg4Mp2(folder, 0.5);
    const std::string damaged = MakeRandomFile(folder, "damaged.avi", 8192, 7);
    fs::create_directory(folder + "/src");
    QStringList files;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/src/clip%04d.avi", i);
        fs::create_hard_link(clip, folder + name);
        files << QString::fromStdString(folder + name);
    }
    files.insert(kFiles / 2, QString::fromStdString(damaged));
    window->show();
    QCoreApplication::processEvents();
    const double before = MemoryMiB("VmRSS");
    const double load = LoadPerCore();

    // The longest time between two turns of the event loop, seen by a 5 ms timer.
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    tick.start();
    Controller().AddFiles(files);
    EXPECT_TRUE(Controller().Adding());
    EXPECT_FALSE(window->actStart->isEnabled()) << "Start waits for the files still coming";
    // Rows come while the rest is still being probed.
    ASSERT_TRUE(WaitFor([&] { return Controller().Model().Count() > 0; }));
    EXPECT_TRUE(Controller().Adding());
    ASSERT_TRUE(WaitFor([&] { return !Controller().Adding(); }, 600000));
    tick.stop();
    const qint64 addMs = total.elapsed();
    const double after = MemoryMiB("VmRSS");

    ASSERT_EQ(Controller().Model().Count(), kFiles);
    for (int i = 0; i < kFiles; ++i)
        ASSERT_EQ(Row(i).SourcePath, files[i < kFiles / 2 ? i : i + 1]) << i;
    ASSERT_EQ(fakes.groups.size(), 1u) << "one format question for the lot";
    ASSERT_EQ(fakes.messages.size(), 1) << "one report of what could not be added";
    EXPECT_TRUE(fakes.messages[0].contains(QStringLiteral("damaged.avi")));
    EXPECT_TRUE(window->actStart->isEnabled());
    std::printf("%d files added in %lld ms (%.1f ms a file); longest event-loop stall %lld ms; "
                "resident memory %.1f MiB before, %.1f MiB with the queue (peak %.1f MiB); "
                "load average %.1f a core\n",
                kFiles, static_cast<long long>(addMs), double(addMs) / kFiles,
                static_cast<long long>(longest), before, after, MemoryMiB("VmHWM"), load);
    RecordProperty("longest_stall_ms", static_cast<int>(longest));
    if (kMeasured) {
        // The stall is a timing: reported with its figure, never failed on in a unit test,
        // where other work on the machine takes the window's core.
        if (load > 1.0)
            std::printf("the machine is busier than its cores: the stall above is not telling\n");
        // 150 MiB for the whole program with its queue: a fresh process with its window holds
        // 73 MiB, so the queue may add 77; earlier tests of the same process leave more before.
        EXPECT_LT(after - before, 77.0);
    }
}

TEST_F(MainWindowTest, ClearWhileFilesAreComingDropsTheRest) {
    const std::string clip = MakeAviMpeg4Mp2(folder, 0.5);
    QStringList files;
    for (int i = 0; i < 400; ++i) {
        const std::string name = folder + "/c" + std::to_string(i) + ".avi";
        fs::create_hard_link(clip, name);
        files << QString::fromStdString(name);
    }
    Controller().AddFiles(files);
    ASSERT_TRUE(WaitFor([&] { return Controller().Model().Count() >= 3; }));
    ASSERT_TRUE(Controller().Adding());
    window->actClear->trigger();
    EXPECT_FALSE(Controller().Adding());
    EXPECT_EQ(Controller().Model().Count(), 0);
    // Outcomes already on their way are dropped too; a new add works as usual.
    Controller().AddFiles(files.mid(0, 2));
    ASSERT_TRUE(WaitFor([&] { return !Controller().Adding(); }));
    ASSERT_EQ(Controller().Model().Count(), 2);
    EXPECT_EQ(Row(0).SourcePath, files[0]);
    EXPECT_EQ(Row(1).SourcePath, files[1]);
    EXPECT_TRUE(fakes.messages.isEmpty());
}

} // namespace
} // namespace velto::test
