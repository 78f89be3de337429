// The kinds of device a profile is for, in the order the profile list shows them, and which kind
// a profile belongs to, told from its title, codec and file type (custom profiles included).
#pragma once

#include <string>

namespace velto {

struct TOutputProfile;

enum class TProfileGroup {
    PhonesAndTablets,
    Apple,
    PortablePlayers,
    OldPhones,
    AviPlayers,
    Discs,
    Web,
    Sharing, // messengers and e-mail: a size limit before a device
    AudioOnly,
    Other,
};

inline constexpr int kProfileGroupCount = static_cast<int>(TProfileGroup::Other) + 1;

TProfileGroup ProfileGroup(const std::string& title, const std::string& videoFormat,
                           const std::string& fileType);

} // namespace velto
