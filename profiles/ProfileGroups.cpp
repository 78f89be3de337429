#include "ProfileGroups.h"

#include <algorithm>
#include <cctype>

namespace velto {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool HasAny(const std::string& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](const char* word) { return text.find(word) != std::string::npos; });
}

} // namespace

TProfileGroup ProfileGroup(const std::string& title, const std::string& videoFormat,
                           const std::string& fileType) {
    const std::string name = Lower(title);
    const std::string type = Lower(fileType);
    if (videoFormat.empty() ||
        HasAny(type, {".mp3", ".m4a", ".flac", ".oga", ".ogg", ".wav", ".aac", ".wma"}))
        return TProfileGroup::AudioOnly;
    if (HasAny(name, {"messenger", "e-mail", "email"}))
        return TProfileGroup::Sharing;
    // Device names first: an iPod profile may store ".mp4" and a PSP one ".mp4" too.
    if (HasAny(name, {"ipod", "iphone", "ipad", "apple"}) || type == ".ipod")
        return TProfileGroup::Apple;
    if (HasAny(name, {"psp", "playstation", "archos", "zen", "iriver", "pmp"}) || type == ".psp")
        return TProfileGroup::PortablePlayers;
    if (HasAny(type, {".3gp", ".3g2"}))
        return TProfileGroup::OldPhones;
    if (type == ".avi")
        return TProfileGroup::AviPlayers;
    if (HasAny(type, {".vcd", ".svcd", ".dvd", ".mpg", ".mpeg", ".vob"}))
        return TProfileGroup::Discs;
    if (HasAny(type, {".flv", ".webm", ".wmv", ".asf", ".rm"}))
        return TProfileGroup::Web;
    if (HasAny(type, {".mp4", ".m4v", ".mov", ".mkv"}))
        return TProfileGroup::PhonesAndTablets;
    return TProfileGroup::Other;
}

} // namespace velto
