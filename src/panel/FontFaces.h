// FontFaces - the installed faces that stand in for the two faces the
// window was designed with, where those are missing (a Linux desktop, or
// Windows under wine): a Song face for "宋体" (the dialog font, the legend,
// the buttons) and Arial's metric twin for the values. Both windows look
// for them in this order.
#ifndef BRENNA_PANEL_FONTFACES_H
#define BRENNA_PANEL_FONTFACES_H

// Song (Ming) faces first, whose Latin letters are half a character wide
// as in 宋体; then any face with the simplified Chinese characters.
inline constexpr const char* kSongStandIns[] = {
    "AR PL UMing CN",   "AR PL UMing TW",    "AR PL UMing HK",    "AR PL UMing TW MBE",
    "AR PL SungtiL GB", "Noto Serif CJK SC", "WenQuanYi Zen Hei", "Noto Sans CJK SC",
};

// Faces with Arial's metrics.
inline constexpr const char* kArialStandIns[] = {"Liberation Sans", "Arimo"};

#endif  // BRENNA_PANEL_FONTFACES_H
