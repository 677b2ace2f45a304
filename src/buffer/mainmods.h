#pragma once
// The shared module: state that lives for the whole run, outside any window.
// One thread touches it, so it needs no locking.
#include "documentfile.h"

#include <QByteArray>
#include <QString>

namespace MainMods {

// The open file, byte k at offset k. 1000 zero bytes at start-up.
extern DocumentFile ByteBuffer;

// What the file chooser handed back: "" for nothing chosen, else the name box's
// text as accepted (a bare name resolves against the working directory).
extern QString ChosenPath;

// The bytes searched for by the previous Find; empty at start and after a
// mouse release on the scroll bar, so that the next Find starts from the view.
extern QByteArray LastFindText;

} // namespace MainMods
