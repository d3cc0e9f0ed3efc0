#include "gstreamer_audio.h"

#include <gst/gst.h>

#include <chrono>
#include <mutex>

namespace {

// playbin's "flags": audio only, so that a cover picture in a file never opens a video window.
const unsigned kPlayFlagAudio = 1u << 1;
const unsigned kPlayFlagSoftVolume = 1u << 4;
// Longest wait for a file or disc to get ready before it counts as unplayable.
const auto kReadyTimeout = std::chrono::seconds(10);

bool startGstreamer() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = gst_init_check(nullptr, nullptr, nullptr); });
  return started;
}

bool cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(); }

// One playbin with its own output, what follows each stream at its end (nextUri), and what
// its bus reported. Bus messages are read in the thread that posts them and then dropped, so
// that nothing piles up however long the music plays.
class Pipeline {
 public:
  // Without GStreamer (`usable` false) nothing can be loaded and every step does nothing.
  Pipeline(bool usable, const std::string& sink, const std::atomic<bool>* cancel) : cancel_(cancel) {
    if (!usable) return;
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (playbin_ == nullptr) return;
    gst_object_ref_sink(playbin_);
    g_object_set(playbin_, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    if (!sink.empty()) {
      GstElement* output = gst_parse_launch(sink.c_str(), nullptr);
      if (output != nullptr) g_object_set(playbin_, "audio-sink", output, nullptr);
    }
    GstBus* bus = gst_element_get_bus(playbin_);
    gst_bus_set_sync_handler(bus, &Pipeline::onMessage, this, nullptr);
    gst_object_unref(bus);
    g_signal_connect(playbin_, "about-to-finish", G_CALLBACK(&Pipeline::onAboutToFinish), this);
  }

  virtual ~Pipeline() {
    if (playbin_ == nullptr) return;
    gst_element_set_state(playbin_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(playbin_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    g_signal_handlers_disconnect_by_data(playbin_, this);
    gst_object_unref(playbin_);
  }

  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Stops everything and makes `uri` the stream to play next; clears earlier failures.
  bool load(const std::string& uri) {
    if (playbin_ == nullptr) return false;
    gst_element_set_state(playbin_, GST_STATE_NULL);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      failed_ = ended_ = false;
    }
    g_object_set(playbin_, "uri", uri.c_str(), nullptr);
    return true;
  }

  // Paused at the start with sound ready to go out; false when the stream cannot play.
  bool prepare() {
    if (playbin_ == nullptr) return false;
    if (gst_element_set_state(playbin_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
    const auto giveUp = std::chrono::steady_clock::now() + kReadyTimeout;
    for (;;) {
      const GstStateChangeReturn state =
          gst_element_get_state(playbin_, nullptr, nullptr, 50 * GST_MSECOND);
      if (failed()) return false;
      if (state == GST_STATE_CHANGE_SUCCESS || state == GST_STATE_CHANGE_NO_PREROLL) return true;
      if (state == GST_STATE_CHANGE_FAILURE) return false;
      if (cancelled(cancel_) || std::chrono::steady_clock::now() > giveUp) return false;
    }
  }

  void setPlaying(bool playing) {
    if (playbin_ != nullptr) gst_element_set_state(playbin_, playing ? GST_STATE_PLAYING : GST_STATE_PAUSED);
  }

  void stop() {
    if (playbin_ != nullptr) gst_element_set_state(playbin_, GST_STATE_NULL);
  }

  void seekToStart() {
    if (playbin_ != nullptr) {
      gst_element_seek_simple(playbin_, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0);
    }
  }

  bool usable() const { return playbin_ != nullptr; }

  // The stream met an error, or the last one came to its end.
  bool failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
  }
  bool ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }

 protected:
  // Called in a streaming thread shortly before the stream ends: the uri that follows
  // without a gap, or empty to end there.
  virtual std::string nextUri() = 0;
  // A new stream began to play.
  virtual void streamStarted() {}

 private:
  static void onAboutToFinish(GstElement* playbin, gpointer self) {
    const std::string next = static_cast<Pipeline*>(self)->nextUri();
    if (!next.empty()) g_object_set(playbin, "uri", next.c_str(), nullptr);
  }

  static GstBusSyncReply onMessage(GstBus*, GstMessage* message, gpointer data) {
    Pipeline* self = static_cast<Pipeline*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_ERROR: {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->failed_ = true;
        break;
      }
      case GST_MESSAGE_EOS: {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->ended_ = true;
        break;
      }
      case GST_MESSAGE_STREAM_START:
        self->streamStarted();
        break;
      default:
        break;
    }
    return GST_BUS_DROP;
  }

  GstElement* playbin_ = nullptr;
  const std::atomic<bool>* cancel_;
  std::mutex mutex_;
  bool failed_ = false;
  bool ended_ = false;
};

class GstLoopingStream : public LoopingStream, private Pipeline {
 public:
  GstLoopingStream(bool usable, const std::string& sink, const std::atomic<bool>* cancel)
      : Pipeline(usable, sink, cancel) {}
  ~GstLoopingStream() override { stop(); }

  bool open(const std::string& path) override {
    if (!usable()) return false;
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    if (uri == nullptr) return false;
    {
      std::lock_guard<std::mutex> lock(uriMutex_);
      uri_ = uri;
    }
    g_free(uri);
    return load(uri_) && prepare();
  }

  void play() override {
    playing_ = true;
    setPlaying(true);
  }

  void pause() override {
    playing_ = false;
    setPlaying(false);
  }

  void rewind() override {
    // A stream that failed or ended is loaded afresh; one that is fine only seeks.
    if (failed() || ended()) {
      load(uri_);
    } else {
      seekToStart();
    }
  }

  bool playing() override { return playing_ && !failed() && !ended(); }

 private:
  std::string nextUri() override {
    std::lock_guard<std::mutex> lock(uriMutex_);
    return uri_;
  }

  std::mutex uriMutex_;
  std::string uri_;
  bool playing_ = false;
};

class GstCdDrive : public CdDrive, private Pipeline {
 public:
  GstCdDrive(const std::string& sink, const std::atomic<bool>* cancel) : Pipeline(true, sink, cancel) {}
  ~GstCdDrive() override { Pipeline::stop(); }

  int trackCount() override {
    // Read again after a failure: the disc may have gone.
    if (failed()) tracks_ = -1;
    if (tracks_ < 0) tracks_ = readTrackCount();
    return tracks_;
  }

  int currentTrack() override { return ended() ? 1 : current_.load(); }

  bool playing() override { return playing_ && !failed() && !ended(); }

  bool play(int track) override {
    if (track < 1 || track > trackCount()) return false;
    current_ = track;
    next_ = 0;
    if (!load("cdda://" + std::to_string(track))) return false;
    playing_ = true;
    setPlaying(true);
    return true;
  }

  void stop() override {
    playing_ = false;
    Pipeline::stop();
  }

 private:
  // The drive alone, without the player: its track count, or -1 without a readable disc.
  static int readTrackCount() {
    GstElement* source = gst_element_factory_make("cdparanoiasrc", nullptr);
    if (source == nullptr) return -1;
    gst_object_ref_sink(source);
    gint64 tracks = -1;
    if (gst_element_set_state(source, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE &&
        !gst_element_query_duration(source, gst_format_get_by_nick("track"), &tracks)) {
      tracks = -1;
    }
    gst_element_set_state(source, GST_STATE_NULL);
    gst_object_unref(source);
    return tracks > 0 && tracks < 100 ? int(tracks) : -1;
  }

  std::string nextUri() override {
    const int next = current_.load() + 1;
    if (next > tracks_.load()) return "";
    next_ = next;
    return "cdda://" + std::to_string(next);
  }

  void streamStarted() override {
    const int next = next_.exchange(0);
    if (next != 0) current_ = next;
  }

  std::atomic<int> tracks_{-1};
  std::atomic<int> current_{1};
  std::atomic<int> next_{0};
  bool playing_ = false;
};

}  // namespace

GstAudioDevices::GstAudioDevices(std::string sink, const std::atomic<bool>* cancel)
    : sink_(std::move(sink)), cancel_(cancel), started_(startGstreamer()) {}

std::unique_ptr<LoopingStream> GstAudioDevices::newStream() {
  return std::make_unique<GstLoopingStream>(started_, sink_, cancel_);
}

std::unique_ptr<CdDrive> GstAudioDevices::openCdDrive() {
  if (!started_) return nullptr;
  GstElementFactory* factory = gst_element_factory_find("cdparanoiasrc");
  if (factory == nullptr) return nullptr;
  gst_object_unref(factory);
  return std::make_unique<GstCdDrive>(sink_, cancel_);
}

int GstAudioDevices::outputCount() {
  if (!started_) return 0;
  if (!sink_.empty()) return 1;
  GstElementFactory* factory = gst_element_factory_find("autoaudiosink");
  if (factory == nullptr) return 0;
  gst_object_unref(factory);
  return 1;
}
