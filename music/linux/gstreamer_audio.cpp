#include "gstreamer_audio.h"

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace {

// playbin's "flags": audio only, so that a cover picture in a file never opens a video window.
const unsigned kPlayFlagAudio = 1u << 1;
const unsigned kPlayFlagSoftVolume = 1u << 4;
// Longest wait for a file or disc to get ready before it counts as unplayable.
const auto kReadyTimeout = std::chrono::seconds(10);
// Longest wait at a teardown for a track change already under way to complete.
const auto kSwitchTimeout = std::chrono::seconds(2);

bool startGstreamer() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = gst_init_check(nullptr, nullptr, nullptr); });
  return started;
}

bool cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(); }

}  // namespace

class PipelineBase {
 public:
  virtual ~PipelineBase() = default;
  virtual void service() = 0;
};

// What the streaming threads leave for the music thread: they mark a pipeline and wake the
// thread, which does the work in GstAudioDevices::service(). Pipelines are made, served and
// destroyed on the music thread only.
struct GstServiceList {
  std::function<void()> wake;
  std::set<PipelineBase*> pipelines;
};

namespace {

// One playbin with its own output, what follows each stream at its end (nextUri, when
// `switching`), and what its bus reported. Bus messages are read in the thread that posts
// them and then dropped, so that nothing piles up however long the music plays.
//
// A file loops by segment seeks: at the end of each pass the music thread seeks back to the
// start without a flush, so the sound goes on without a gap and the pipeline never changes
// its stream. Changing streams (about-to-finish with a new uri) runs on a streaming thread
// that waits on playbin, while a state change from the music thread waits for that very
// thread; so a teardown first bars new changes and waits for one under way.
class Pipeline : private PipelineBase {
 public:
  // Without GStreamer (`usable` false) nothing can be loaded and every step does nothing.
  Pipeline(bool usable, const std::string& sink, const std::atomic<bool>* cancel, GstServiceList* services,
           bool switching)
      : cancel_(cancel), services_(services) {
    if (services_ != nullptr) services_->pipelines.insert(this);
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
    if (switching) g_signal_connect(playbin_, "about-to-finish", G_CALLBACK(&Pipeline::onAboutToFinish), this);
  }

  ~Pipeline() override {
    if (services_ != nullptr) services_->pipelines.erase(this);
    if (playbin_ == nullptr) return;
    settleSwitch();
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
    settleSwitch();
    gst_element_set_state(playbin_, GST_STATE_NULL);
    wantPlaying_ = false;
    loopDue_ = clockLost_ = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      failed_ = ended_ = notAudio_ = false;
    }
    {
      std::lock_guard<std::mutex> lock(switchMutex_);
      closing_ = switching_ = false;
    }
    g_object_set(playbin_, "uri", uri.c_str(), nullptr);
    return true;
  }

  // Paused at the start with sound ready to go out; false when the stream cannot play.
  bool prepare() {
    if (playbin_ == nullptr) return false;
    if (gst_element_set_state(playbin_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
      awaitReason();
      return false;
    }
    const auto giveUp = std::chrono::steady_clock::now() + kReadyTimeout;
    for (;;) {
      const GstStateChangeReturn state =
          gst_element_get_state(playbin_, nullptr, nullptr, 50 * GST_MSECOND);
      if (failed()) return false;
      if (state == GST_STATE_CHANGE_SUCCESS || state == GST_STATE_CHANGE_NO_PREROLL) return true;
      if (state == GST_STATE_CHANGE_FAILURE) {
        awaitReason();
        return false;
      }
      if (cancelled(cancel_) || std::chrono::steady_clock::now() > giveUp) return false;
    }
  }

  // The bus message that says why a state change failed may come a moment after it (a bin
  // holds its children's errors until it gives up); it tells a file that is no audio.
  void awaitReason() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!failed() && !cancelled(cancel_) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  void setPlaying(bool playing) {
    wantPlaying_ = playing;
    if (playbin_ != nullptr) gst_element_set_state(playbin_, playing ? GST_STATE_PLAYING : GST_STATE_PAUSED);
  }

  void stop() {
    wantPlaying_ = false;
    if (playbin_ == nullptr) return;
    settleSwitch();
    gst_element_set_state(playbin_, GST_STATE_NULL);
  }

  // One pass from the start to the end, ending in SEGMENT_DONE rather than EOS. A flush
  // drops what is on its way (a rewind); without it the pass follows the one playing.
  bool seekPass(bool flush) {
    if (playbin_ == nullptr) return false;
    const GstSeekFlags flags = GstSeekFlags(GST_SEEK_FLAG_SEGMENT | (flush ? GST_SEEK_FLAG_FLUSH : 0));
    // The pass ends at the stream's length, not at the file's end: past it an MP3 holds its
    // encoder's padding, which would be heard as a gap at every loop.
    gint64 length = -1;
    if (!gst_element_query_duration(playbin_, GST_FORMAT_TIME, &length)) length = -1;
    return gst_element_seek(playbin_, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, 0,
                            length > 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE, length > 0 ? length : GST_CLOCK_TIME_NONE);
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
  // The failure came from the stream itself (no known type, nothing to decode).
  bool streamFailed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return notAudio_;
  }

 protected:
  // Called in a streaming thread shortly before the stream ends: the uri that follows
  // without a gap, or empty to end there. Asked only of a pipeline made `switching`.
  virtual std::string nextUri() { return ""; }
  // A new stream began to play.
  virtual void streamStarted() {}

 private:
  // On the music thread, what the bus asked for: the next pass of a loop, or a new clock.
  void service() override {
    if (playbin_ == nullptr) return;
    if (loopDue_.exchange(false)) seekPass(false);
    // A lost clock is replaced by going through PAUSED again.
    if (clockLost_.exchange(false) && wantPlaying_) {
      gst_element_set_state(playbin_, GST_STATE_PAUSED);
      gst_element_set_state(playbin_, GST_STATE_PLAYING);
    }
  }

  void wakeMusicThread() {
    if (services_ != nullptr && services_->wake) services_->wake();
  }

  // Bars new stream changes and waits (boundedly) for one under way to reach its new stream.
  void settleSwitch() {
    std::unique_lock<std::mutex> lock(switchMutex_);
    closing_ = true;
    switchDone_.wait_for(lock, kSwitchTimeout, [this] { return !switching_; });
  }

  void switchEnded() {
    {
      std::lock_guard<std::mutex> lock(switchMutex_);
      switching_ = false;
    }
    switchDone_.notify_all();
  }

  static void onAboutToFinish(GstElement* playbin, gpointer data) {
    Pipeline* self = static_cast<Pipeline*>(data);
    std::lock_guard<std::mutex> lock(self->switchMutex_);
    if (self->closing_) return;
    const std::string next = self->nextUri();
    if (next.empty()) return;
    self->switching_ = true;
    g_object_set(playbin, "uri", next.c_str(), nullptr);
  }

  static GstBusSyncReply onMessage(GstBus*, GstMessage* message, gpointer data) {
    Pipeline* self = static_cast<Pipeline*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        {
          std::lock_guard<std::mutex> lock(self->mutex_);
          self->failed_ = true;
          if (error != nullptr && error->domain == GST_STREAM_ERROR) self->notAudio_ = true;
        }
        if (error != nullptr) g_error_free(error);
        self->switchEnded();
        break;
      }
      case GST_MESSAGE_SEGMENT_DONE:
        self->loopDue_ = true;
        self->wakeMusicThread();
        break;
      case GST_MESSAGE_CLOCK_LOST:
        self->clockLost_ = true;
        self->wakeMusicThread();
        break;
      case GST_MESSAGE_EOS: {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->ended_ = true;
        break;
      }
      case GST_MESSAGE_STREAM_START:
        self->switchEnded();
        self->streamStarted();
        break;
      default:
        break;
    }
    return GST_BUS_DROP;
  }

  GstElement* playbin_ = nullptr;
  const std::atomic<bool>* cancel_;
  GstServiceList* services_;
  std::mutex mutex_;
  bool failed_ = false;
  bool ended_ = false;
  bool notAudio_ = false;
  std::atomic<bool> wantPlaying_{false};
  std::atomic<bool> loopDue_{false};
  std::atomic<bool> clockLost_{false};
  std::mutex switchMutex_;
  std::condition_variable switchDone_;
  bool closing_ = false;    // no new stream changes: a teardown is coming
  bool switching_ = false;  // a new uri was given and its stream has not begun
};

class GstLoopingStream : public LoopingStream, private Pipeline {
 public:
  GstLoopingStream(bool usable, const std::string& sink, const std::atomic<bool>* cancel, GstServiceList* services)
      : Pipeline(usable, sink, cancel, services, false) {}
  ~GstLoopingStream() override { stop(); }

  bool open(const std::string& path) override {
    if (!usable()) return false;
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    if (uri == nullptr) return false;
    uri_ = uri;
    g_free(uri);
    return ready();
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
      ready();
    } else {
      seekPass(true);
    }
  }

  bool playing() override { return playing_ && !failed() && !ended(); }
  bool failed() override { return Pipeline::failed(); }
  bool notAudio() override { return streamFailed(); }

 private:
  // Loaded, paused at the start of its first pass, sound ready to go out.
  bool ready() { return load(uri_) && prepare() && seekPass(true) && prepare(); }

  std::string uri_;
  bool playing_ = false;
};

class GstCdDrive : public CdDrive, private Pipeline {
 public:
  GstCdDrive(const std::string& sink, const std::atomic<bool>* cancel, GstServiceList* services)
      : Pipeline(true, sink, cancel, services, true) {}
  ~GstCdDrive() override { Pipeline::stop(); }

  int trackCount() override {
    // Read again after a failure, once: the disc may have gone. Reading is slow.
    if (failed() && !recounted_) {
      recounted_ = true;
      tracks_ = -1;
    }
    if (tracks_ < 0) tracks_ = readTrackCount();
    return tracks_;
  }

  bool failed() override { return Pipeline::failed(); }

  int currentTrack() override { return ended() ? 1 : current_.load(); }

  bool playing() override { return playing_ && !failed() && !ended(); }

  bool play(int track) override {
    if (track < 1 || track > trackCount()) return false;
    current_ = track;
    next_ = 0;
    recounted_ = false;
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
  bool recounted_ = false;
};

}  // namespace

GstAudioDevices::GstAudioDevices(std::string sink, const std::atomic<bool>* cancel, std::function<void()> wake)
    : sink_(std::move(sink)), cancel_(cancel), services_(std::make_unique<GstServiceList>()), started_(startGstreamer()) {
  services_->wake = std::move(wake);
}

GstAudioDevices::~GstAudioDevices() = default;

void GstAudioDevices::service() {
  for (PipelineBase* pipeline : services_->pipelines) pipeline->service();
}

std::unique_ptr<LoopingStream> GstAudioDevices::newStream() {
  return std::make_unique<GstLoopingStream>(started_, sink_, cancel_, services_.get());
}

std::unique_ptr<CdDrive> GstAudioDevices::openCdDrive() {
  if (!started_) return nullptr;
  GstElementFactory* factory = gst_element_factory_find("cdparanoiasrc");
  if (factory == nullptr) return nullptr;
  gst_object_unref(factory);
  return std::make_unique<GstCdDrive>(sink_, cancel_, services_.get());
}

int GstAudioDevices::outputCount() {
  if (!started_) return 0;
  if (!sink_.empty()) return 1;
  GstElementFactory* factory = gst_element_factory_find("autoaudiosink");
  if (factory == nullptr) return 0;
  gst_object_unref(factory);
  return 1;
}
