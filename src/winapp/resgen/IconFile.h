// IconFile - a palette image as a Windows icon file (.ico): one 32 x 32
// image with 16 colours and a transparency mask, as icon 128 is designed.
#ifndef BRENNA_WINAPP_RESGEN_ICONFILE_H
#define BRENNA_WINAPP_RESGEN_ICONFILE_H

#include <string>

#include "panel/Templates.h"

// The bytes of the .ico file; empty when the image does not fit 16
// colours or has another size than 32 x 32.
std::string IconFileBytes(const IconImage& image);

#endif  // BRENNA_WINAPP_RESGEN_ICONFILE_H
