// Fonts - the faces the window's texts ask for ("Arial" for the values,
// "宋体" for the panels and buttons) are Windows faces. Where one is missing,
// a face of the same metrics or style stands in; an installed original still
// wins. Call once, after the QApplication exists and before any font is used.
#ifndef BRENNA_PRESENTATION_FONTS_H
#define BRENNA_PRESENTATION_FONTS_H

void InstallFontSubstitutions();

#endif  // BRENNA_PRESENTATION_FONTS_H
