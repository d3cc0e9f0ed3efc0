// Resource numbers of the settings dialog's pictures (drawn by tools/make_dialog_pictures.py).
#pragma once
#define kBannerPictureFirst 901  // 901 ... 924: the banner frames in playing order
#define kMarkOffPicture 930
#define kMarkOnPicture 931
#define kDialogIcon 940
#define kBannerCursor 941
