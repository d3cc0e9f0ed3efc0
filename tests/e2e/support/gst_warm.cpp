// Builds GStreamer's plugin registry (the file GST_REGISTRY names) and exits: the e2e
// programs' homes are fresh folders, and each first start in one would otherwise scan every
// plugin before it plays a note.
#include <gst/gst.h>

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  return 0;
}
