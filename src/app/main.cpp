// The program takes no command line; the application object does the rest.
#include "app/BrennaCenter.h"

int main(int argc, char** argv) { return theApp.Run(argc, argv); }
