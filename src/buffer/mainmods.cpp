#include "mainmods.h"

namespace MainMods {
DocumentFile ByteBuffer;
QString ChosenPath;
QByteArray LastFindText;
} // namespace MainMods
