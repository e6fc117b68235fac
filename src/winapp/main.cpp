// The program takes no command line; the application object does the rest.
#include <windows.h>

#include "winapp/BrennaCenter.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return theApp.Run(); }
