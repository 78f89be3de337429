#include "frm_ProfileList.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QStandardItemModel>

namespace velto {
namespace {

constexpr int kIndexRole = Qt::UserRole + 1;

// The shipped titles, for the translation tables; the settings file keeps them in English.
[[maybe_unused]] const char* const kShippedTitles[] = {
    QT_TRANSLATE_NOOP("TProfileNames", "MP4 MPEG-4 Video (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "iPod MPEG-4 Video (320x240, 4:3) - High Quality"),
    QT_TRANSLATE_NOOP("TProfileNames", "iPod MPEG-4 Video (320x180, 16:9) - High Quality"),
    QT_TRANSLATE_NOOP("TProfileNames", "iPod MPEG-4 Video (320x240, 4:3)"),
    QT_TRANSLATE_NOOP("TProfileNames", "iPod MPEG-4 Video (320x180, 16:9)"),
    QT_TRANSLATE_NOOP("TProfileNames",
                      "iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size"),
    QT_TRANSLATE_NOOP("TProfileNames",
                      "iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size"),
    QT_TRANSLATE_NOOP("TProfileNames", "PSP MPEG-4 Video (368x208)"),
    QT_TRANSLATE_NOOP("TProfileNames", "PSP MPEG-4 Video (368x208) - High Quality"),
    QT_TRANSLATE_NOOP("TProfileNames", "PSP AVC Video (368x208)"),
    QT_TRANSLATE_NOOP("TProfileNames", "MP4 MPEG-4 AVC Video (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "DivX Video Format (*.avi)"),
    QT_TRANSLATE_NOOP("TProfileNames", "XviD Video Format (*.avi)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Archos Video (*.avi)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Creative Zen Vision (*.avi)"),
    QT_TRANSLATE_NOOP("TProfileNames", "iRiver PMP-100 (*.avi)"),
    QT_TRANSLATE_NOOP("TProfileNames", "MPEG-1/VCD Video (*.mpg)"),
    QT_TRANSLATE_NOOP("TProfileNames", "MPEG-2/SVCD/DVD Video (*.mpg)"),
    QT_TRANSLATE_NOOP("TProfileNames", "3GP Video for Mobile Phones (176x144) (*.3gp)"),
    QT_TRANSLATE_NOOP("TProfileNames", "3GP MPEG-4 Video (320x240) (*.3gp)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Flash Video (*.flv)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Windows Media Video (*.wmv)"),
    QT_TRANSLATE_NOOP("TProfileNames", "RealMedia Video (*.rm)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Phone / Tablet H.264 Video (480p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Phone / Tablet H.264 Video (720p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Phone / Tablet H.264 Video (1080p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Apple HEVC/H.265 Video (1080p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "WebM VP9 Video for Browsers (720p) (*.webm)"),
    QT_TRANSLATE_NOOP("TProfileNames", "MP3 Audio (*.mp3)"),
    QT_TRANSLATE_NOOP("TProfileNames", "AAC Audio (*.m4a)"),
    QT_TRANSLATE_NOOP("TProfileNames", "FLAC Lossless Audio (*.flac)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Ogg Vorbis Audio (*.oga)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Messenger H.264 Video, up to 16 MB (720p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "Messenger H.264 Video, up to 64 MB (1080p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "E-mail H.264 Video, up to 10 MB (480p) (*.mp4)"),
    QT_TRANSLATE_NOOP("TProfileNames", "E-mail H.264 Video, up to 25 MB (720p) (*.mp4)"),
};

const char* const kGroupTexts[kProfileGroupCount] = {
    QT_TRANSLATE_NOOP("TProfileNames", "手机和平板"),
    QT_TRANSLATE_NOOP("TProfileNames", "Apple 设备"),
    QT_TRANSLATE_NOOP("TProfileNames", "PlayStation 和便携播放器"),
    QT_TRANSLATE_NOOP("TProfileNames", "老式手机 (3GP)"),
    QT_TRANSLATE_NOOP("TProfileNames", "AVI 播放器"),
    QT_TRANSLATE_NOOP("TProfileNames", "光盘 (VCD, SVCD, DVD)"),
    QT_TRANSLATE_NOOP("TProfileNames", "网页和电脑"),
    QT_TRANSLATE_NOOP("TProfileNames", "聊天软件和电子邮件"),
    QT_TRANSLATE_NOOP("TProfileNames", "仅音频"),
    QT_TRANSLATE_NOOP("TProfileNames", "其他"),
};

bool Matches(const std::string& title, const QString& shown, const QString& filter) {
    return filter.isEmpty() || shown.contains(filter, Qt::CaseInsensitive) ||
           QString::fromStdString(title).contains(filter, Qt::CaseInsensitive);
}

QStandardItem* CaptionItem(TProfileGroup group) {
    auto* item = new QStandardItem(ProfileGroupText(group));
    // Shown, never picked: the arrow keys and the popup pass over it.
    item->setFlags(Qt::NoItemFlags);
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
    item->setData(-1, kIndexRole);
    return item;
}

} // namespace

QString ProfileTitleText(const std::string& title) {
    return QCoreApplication::translate("TProfileNames", title.c_str());
}

QString ProfileGroupText(TProfileGroup group) {
    return QCoreApplication::translate("TProfileNames", kGroupTexts[static_cast<int>(group)]);
}

int FillProfileList(QComboBox* box, const std::vector<std::string>& titles,
                    const std::vector<TProfileGroup>& groups, const QString& filter,
                    int selectedIndex) {
    auto* model = new QStandardItemModel(box);
    int firstListed = -1;
    bool selectedListed = false;
    for (int group = 0; group < kProfileGroupCount; ++group) {
        bool captioned = false;
        for (int i = 0; i < static_cast<int>(titles.size()); ++i) {
            const auto kind =
                i < static_cast<int>(groups.size()) ? groups[i] : TProfileGroup::Other;
            const QString shown = ProfileTitleText(titles[i]);
            if (static_cast<int>(kind) != group || !Matches(titles[i], shown, filter))
                continue;
            if (!captioned)
                model->appendRow(CaptionItem(kind));
            captioned = true;
            auto* item = new QStandardItem(QStringLiteral("    ") + shown);
            item->setData(i, kIndexRole);
            item->setToolTip(shown);
            model->appendRow(item);
            if (firstListed < 0)
                firstListed = i;
            selectedListed |= i == selectedIndex;
        }
    }
    box->setModel(model);
    const int selected = selectedListed ? selectedIndex : firstListed;
    box->setCurrentIndex(RowOfProfile(box, selected));
    return selected;
}

int ProfileAtRow(const QComboBox* box, int row) {
    if (row < 0 || row >= box->count())
        return -1;
    return box->itemData(row, kIndexRole).toInt();
}

int RowOfProfile(const QComboBox* box, int index) {
    if (index < 0)
        return -1;
    return box->findData(index, kIndexRole);
}

} // namespace velto
