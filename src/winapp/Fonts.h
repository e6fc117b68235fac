// Fonts - which installed faces the window draws with. The window was
// designed with 宋体 (SimSun) for its dialogs, legend and buttons and with
// Arial for the values; a Chinese Windows has both. Elsewhere (another
// language's Windows without the Chinese fonts, or wine) the Song face is
// the first installed one of: 宋体 / SimSun, NSimSun, the Song faces the
// Linux window uses (panel/FontFaces.h), Microsoft YaHei, and then any face
// with the simplified Chinese character set (GB2312_CHARSET), as
// EnumFontFamiliesExW lists them; the value face is Arial, else its metric
// twin (Liberation Sans).
#ifndef BRENNA_WINAPP_FONTS_H
#define BRENNA_WINAPP_FONTS_H

#include <windows.h>

#include <string>

// The face for Chinese texts, as above; "宋体" when no face has the
// character set (the font mapper then does what it can).
const std::wstring& SongFace();

// The face of the values: "Arial" when installed, else a twin.
const std::wstring& ValueFace();

// Whether `face` is installed with the simplified Chinese character set.
bool FaceShowsChinese(const std::wstring& face);

// A dialog template's face as the dialog is made: the face itself when it
// shows Chinese, else SongFace().
std::wstring DialogFace(const std::wstring& templateFace);

#endif  // BRENNA_WINAPP_FONTS_H
