#include "WindowState.h"

#include <QDir>
#include <QSettings>

namespace velto {

namespace {

QString StateFile() {
    return StateFolder() + QStringLiteral("/window.ini");
}

} // namespace

QString StateFolder() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory specification ignores relative paths.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Velto3GPConverter");
}

TWindowState TWindowState::Load() {
    const QSettings file(StateFile(), QSettings::IniFormat);
    TWindowState state;
    state.Geometry = file.value(QStringLiteral("window/geometry")).toByteArray();
    state.Layout = file.value(QStringLiteral("window/layout")).toByteArray();
    state.ListHeader = file.value(QStringLiteral("list/header")).toByteArray();
    return state;
}

void TWindowState::Save() const {
    QDir().mkpath(StateFolder());
    QSettings file(StateFile(), QSettings::IniFormat);
    file.setValue(QStringLiteral("window/geometry"), Geometry);
    file.setValue(QStringLiteral("window/layout"), Layout);
    file.setValue(QStringLiteral("list/header"), ListHeader);
}

} // namespace velto
