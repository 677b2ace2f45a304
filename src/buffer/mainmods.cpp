#include "mainmods.h"

namespace MainMods {
FileBuffer ByteBuffer;
QString ChosenPath;
QByteArray LastFindText;
} // namespace MainMods
