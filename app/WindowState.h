// Where the window was and how its list was laid out, kept between runs in the user's state
// folder ($XDG_STATE_HOME/Velto3GPConverter, ~/.local/state/... by default), apart from the
// settings file, which keeps only the program's options.
#pragma once

#include <QByteArray>
#include <QString>

namespace velto {

// $XDG_STATE_HOME/Velto3GPConverter, or ~/.local/state/Velto3GPConverter; not created here.
QString StateFolder();

struct TWindowState {
    QByteArray Geometry;   // QWidget::saveGeometry
    QByteArray Layout;     // QMainWindow::saveState: tool bars and docks
    QByteArray ListHeader; // QHeaderView::saveState: column widths and order

    // Empty fields when nothing was saved or the file cannot be read.
    static TWindowState Load();
    // Best effort: a window that cannot remember its place still works.
    void Save() const;
};

} // namespace velto
