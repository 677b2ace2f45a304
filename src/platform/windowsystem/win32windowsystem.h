#pragma once
// Factory of the Win32 backend. Kept apart from the backend's source so that
// nothing outside this library sees <windows.h>.
#include "windowsystem.h"

std::unique_ptr<WindowSystem> createWin32WindowSystem();
