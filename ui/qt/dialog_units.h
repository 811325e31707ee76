#pragma once

class QWidget;

namespace halden::qt {

// The window templates give positions and sizes in dialog units: a quarter of the
// font's average character width across, an eighth of its height down. Converts the
// dialog's size and every child's geometry to pixels for the dialog's actual font, the
// way Windows maps them, then widens any text that would still be clipped (a stand-in
// font can be wider in places than its average says) and grows the dialog to hold it.
void applyDialogUnits(QWidget* dialog);

}  // namespace halden::qt
