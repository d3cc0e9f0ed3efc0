// Resource number of the embedded preview picture.
#pragma once
#define kPreviewPictureResource 101
