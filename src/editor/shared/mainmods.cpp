#include "mainmods.h"

namespace MainMods {
ByteStore ByteBuffer;
QString ChosenPath;
QByteArray LastFindText;
} // namespace MainMods
