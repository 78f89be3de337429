// The preview window the engine's previewers draw in, and the window's two languages.
#include "MainWindowSupport.h"

#include "Language.h"
#include "RecordingPreviewWindow.h"
#include "TBitmap.h"
#include "frm_ConvertOptions.h"
#include "frm_Preview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolBar>

#include <fstream>
#include <iterator>

namespace velto::test {
namespace {

TEST(PreviewWindowTest, ToolWindowOnTopSizedToThePictureDrawsItAndMovesWhenDragged) {
    EnsureWidgetsApplication();
    int closes = 0;
    auto window = QtPreviewWindowFactory()(64, 48, [&] { ++closes; });
    window->SetCaption("00:00:01.500");
    TBitmap bitmap(64, 48);
    // Blue, green, red bytes: a red picture with a blue first pixel.
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            bitmap.ScanLine(y)[3 * x] = x == 0 && y == 0 ? 255 : 0;
            bitmap.ScanLine(y)[3 * x + 2] = x == 0 && y == 0 ? 0 : 255;
        }
    window->Draw(bitmap);

    TfrmPreview* form = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "frmPreview")
            form = static_cast<TfrmPreview*>(widget);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->windowFlags() & Qt::Tool);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->size(), QSize(64, 48));
    EXPECT_EQ(form->windowTitle(), "00:00:01.500");
    const QImage shown = form->grab().toImage();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(shown.pixelColor(10, 10), QColor(255, 0, 0));

    // A press anywhere inside and a move drag the window along.
    const QPoint before = form->pos();
    QTest::mousePress(form, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 30), form->mapToGlobal(QPointF(40, 30)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form, &move);
    QTest::mouseRelease(form, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
    EXPECT_EQ(form->pos(), before + QPoint(30, 20));

    // Closing by the user ends the preview; freeing the window afterwards is silent.
    form->close();
    EXPECT_EQ(closes, 1);
    window.reset();
    EXPECT_EQ(closes, 1);
}

TEST_F(MainWindowTest, PreviewToggleShowsTheFramesOfListedJobsAndIsRemembered) {
    auto record = std::make_shared<PreviewWindowRecord>();
    SetPreviewWindowFactory(RecordingWindowFactory(record));
    Settings("OpenFolderWhenDone=0\n");
    // Long enough to outlast the first preview interval.
    AddFiles(Clips(1, 30.0));
    EXPECT_FALSE(window->actPreview->isChecked());
    // Turned on after the file was added, it still applies to that job.
    window->actPreview->trigger();
    EXPECT_TRUE(window->Engine().Preview);
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished) << Row(0).Reason.toStdString();
    SetPreviewWindowFactory(nullptr);
    {
        std::lock_guard lock(record->mutex);
        EXPECT_EQ(record->created, 1);
        EXPECT_GT(record->draws, 0);
    }
    TfrmMain again(paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes, &fakes, &fakes});
    EXPECT_TRUE(again.actPreview->isChecked());
    EXPECT_TRUE(again.Engine().Preview);
}

TEST(LanguageTest, ChosenFromTheSettingOrTheSystemLocale) {
    struct {
        const char* setting;
        QLocale::Language system;
        const char* chosen;
    } const cases[] = {
        {"auto", QLocale::Chinese, "zh_CN"},  {"auto", QLocale::German, "en"},
        {"", QLocale::Chinese, "zh_CN"},      {"en", QLocale::Chinese, "en"},
        {"zh_CN", QLocale::English, "zh_CN"}, {"fr", QLocale::English, "en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLanguage(c.setting, QLocale(c.system)), c.chosen) << c.setting;
}

// Every source text of the window has a finished translation in both languages.
TEST(LanguageTest, BothTranslationsAreComplete) {
    for (const char* name : {"velto_zh_CN.ts", "velto_en.ts"}) {
        QFile file(QStringLiteral(VELTO_SOURCE_DIR "/translations/") + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_GT(text.count("<message"), 100) << name;
        EXPECT_FALSE(text.contains("type=\"unfinished\"")) << name;
        EXPECT_FALSE(text.contains("type=\"vanished\"")) << name;
    }
}

class LanguageWindowTest : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        InstallTranslations("zh_CN", QStringLiteral(VELTO_STAGE_DIR "/translations"));
    }
    // Visible texts of the window with the language installed.
    QStringList Texts(const QString& language) {
        EXPECT_TRUE(InstallTranslations(language, QStringLiteral(VELTO_STAGE_DIR "/translations")));
        window = std::make_unique<TfrmMain>(
            paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes, &fakes, &fakes});
        QStringList texts;
        for (QAction* action : window->menuBar()->actions())
            texts << action->text();
        for (QAction* action : window->tbMain->actions())
            texts << action->iconText();
        for (int column = 0; column < window->Controller().Model().columnCount(); ++column)
            texts << window->Controller()
                         .Model()
                         .headerData(column, Qt::Horizontal, Qt::DisplayRole)
                         .toString();
        texts.removeAll({});
        return texts;
    }
};

bool HasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() < 0xa000; });
}

TEST_F(LanguageWindowTest, EnglishAndChineseWindowsAreNotMixedAndQtsDialogsFollow) {
    for (const QString& text : Texts("en"))
        EXPECT_FALSE(HasChinese(text)) << text.toStdString();
    EXPECT_EQ(window->actAdd->iconText(), "Add");
    QDialogButtonBox englishBox(QDialogButtonBox::Cancel);
    EXPECT_EQ(englishBox.button(QDialogButtonBox::Cancel)->text().remove('&'), "Cancel");

    for (const QString& text : Texts("zh_CN"))
        EXPECT_TRUE(HasChinese(text)) << text.toStdString();
    EXPECT_EQ(window->actAdd->iconText(), "添加");
    // Qt's own buttons come from Qt's Chinese translation.
    QDialogButtonBox chineseBox(QDialogButtonBox::Cancel);
    EXPECT_EQ(chineseBox.button(QDialogButtonBox::Cancel)->text().remove('&'), "取消");
}

struct TSilentDialogs : TDialogServices {
    std::string ChooseFolder(QWidget*, const QString&, const std::string&) override { return {}; }
    void ShowInformation(QWidget*, const QString&) override {}
    bool Confirm(QWidget*, const QString&) override { return false; }
    bool IsOnOpticalDrive(const std::string&) override { return false; }
    void ShowHelp(QWidget*, const QString&) override {}
};

// The shipped catalogue in the format dialog: Chinese names under Chinese captions, a title the
// user wrote left as written, "Auto" translated, and English throughout in English.
TEST_F(LanguageWindowTest, ShippedProfileNamesAndAutoFollowTheLanguage) {
    const std::string settings = paths.Settings();
    std::ifstream in(VELTO_STAGE_DIR "/Velto3GPConverter.ini");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string shipped = "Title=Flash Video (*.flv)";
    ASSERT_NE(text.find(shipped), std::string::npos) << "the shipped settings hold the catalogue";
    text.replace(text.find(shipped), shipped.size(), "Title=My old Flash player");
    std::ofstream(settings, std::ios::trunc) << text;
    TSilentDialogs dialogs;
    for (const QString language : {QStringLiteral("zh_CN"), QStringLiteral("en")}) {
        SCOPED_TRACE(language.toStdString());
        ASSERT_TRUE(InstallTranslations(language, QStringLiteral(VELTO_STAGE_DIR "/translations")));
        TfrmConvertOptions dialog(dialogs, settings, paths.FactoryProfiles());
        QStringList rows;
        for (int row = 0; row < dialog.cbxVideoFormat->count(); ++row)
            rows << dialog.cbxVideoFormat->itemText(row).trimmed();
        ASSERT_GT(rows.size(), 32 + 6) << "every shipped title under a caption";
        const bool chinese = language == "zh_CN";
        for (const QString& row : rows)
            if (row != "My old Flash player")
                EXPECT_EQ(HasChinese(row), chinese) << row.toStdString();
        EXPECT_TRUE(rows.contains("My old Flash player"));
        EXPECT_EQ(rows.front(), chinese ? "手机和平板" : "Phones and tablets");
        EXPECT_EQ(dialog.cbxFrameSize->itemText(dialog.cbxFrameSize->count() - 1),
                  chinese ? "自动" : "Auto");
        // English device names find their profiles in the Chinese list too.
        dialog.edtProfileFilter->setText("ipod");
        EXPECT_EQ(dialog.cbxVideoFormat->count(), 7) << "the Apple caption and six iPod titles";
    }
}

} // namespace
} // namespace velto::test
