// Why a file could not be added, in one sentence of the user's language: the engine's texts name
// the file again and speak the library's words ("x.mp4: Unknown format"), which read badly beside
// the file's own name.
#pragma once

#include <QString>

namespace velto {

// The reason for refusing file, from what the file is like on disk and the engine's text.
QString RefusalReason(const QString& file, const QString& engineText);

} // namespace velto
