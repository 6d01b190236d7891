#include "audio/platform/pipewire_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "audio/platform/pipewire_props.h"

namespace lorvane::audio {
namespace {

// What a wait that ran out of time most likely ran into. The daemon hands over a node's
// memory and wake-up descriptors several to a message; with too few descriptors left the
// kernel drops them (MSG_CTRUNC), the library drops the message and the wait times out, with
// the descriptors it did get closed again. So fewer than kHeadroom free descriptors now (the
// largest such message takes five here) says the cause was EMFILE, not a timeout.
OSStatus timeoutCause() {
  constexpr int kHeadroom = 16;
  int fds[kHeadroom];
  int made = 0;
  while (made < kHeadroom && (fds[made] = eventfd(0, EFD_CLOEXEC)) >= 0) ++made;
  const int error = errno;
  for (int i = 0; i < made; ++i) ::close(fds[i]);
  return made < kHeadroom && (error == EMFILE || error == ENFILE) ? -error : -ETIMEDOUT;
}

}  // namespace

PipeWireSession::PipeWireSession(std::vector<int32_t> excludedPids)
    : graph_(*this, std::move(excludedPids)) {}

PipeWireSession::~PipeWireSession() {
  // The program never gets here: every way out of the audio mode is _exit, and a failed
  // connect leaks its session (see createProcessTap). It stays correct for any other owner.
  if (loop_) pw_thread_loop_stop(loop_);
  if (tick_) pw_loop_destroy_source(pw_thread_loop_get_loop(loop_), tick_);
  closeConnection();
  if (context_) pw_context_destroy(context_);
  if (loop_) pw_thread_loop_destroy(loop_);
}

OSStatus PipeWireSession::connect() {
  pw_init(nullptr, nullptr);
  // Library warnings must never reach stderr: it carries the parent's status lines.
  pw_log_set_level(SPA_LOG_LEVEL_NONE);
  loop_ = pw_thread_loop_new("lorvane.pw", nullptr);
  if (loop_ == nullptr) return errno ? -errno : -ENOMEM;
  // client-rt.conf: the real-time data thread, as the PipeWire tools use it.
  context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                            pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (context_ == nullptr) return errno ? -errno : -ENOMEM;
  if (pw_thread_loop_start(loop_) < 0) return -EIO;

  const LoopLock held = lock();
  if (!openConnection()) return errno ? -errno : -EIO;
  // First the globals, then the info and properties of what they made us bind.
  const bool ok = roundtrip(3000) && roundtrip(3000);
  return ok ? 0 : (coreError_ ? coreError_ : timeoutCause());
}

bool PipeWireSession::openConnection() {
  core_ =
      pw_context_connect(context_, pw_properties_new(PW_KEY_APP_NAME, "lorvane-tap", nullptr), 0);
  if (core_ == nullptr) return false;
  coreError_ = 0;
  pw_core_add_listener(core_, &coreListener_, &kCore, this);
  registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
  pw_registry_add_listener(registry_, &registryListener_, &kRegistry, this);
  return true;
}

void PipeWireSession::closeConnection() {
  destroyNode();   // the node lives on the connection's core
  graph_.reset();  // releases every binding and link proxy
  lostLinks_.clear();
  relinkSeq_ = -1;
  if (registry_) {
    spa_hook_remove(&registryListener_);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    registry_ = nullptr;
  }
  if (core_) {
    spa_hook_remove(&coreListener_);
    pw_core_disconnect(core_);
    core_ = nullptr;
  }
  pingSeq_ = -1;
}

bool PipeWireSession::roundtrip(int timeoutMs) {
  synced_ = false;
  syncSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
  timespec deadline{};
  pw_thread_loop_get_time(loop_, &deadline, int64_t(timeoutMs) * SPA_NSEC_PER_MSEC);
  while (!synced_ && coreError_ == 0) {
    if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0) return false;
  }
  return synced_;
}

void PipeWireSession::onDone(int seq) {
  if (seq == syncSeq_) {
    synced_ = true;
    pw_thread_loop_signal(loop_, false);
  }
  if (seq == relinkSeq_) {
    relinkSeq_ = -1;
    for (const uint64_t handle : std::exchange(lostLinks_, {})) graph_.linkLost(handle);
    graph_.relink();
  }
  if (seq != pingSeq_) return;
  pingSeq_ = -1;
  watch_.answered();
  // A new connection has answered: it knows its globals, so the capture node can follow.
  if (watch_.connecting() && !node_ && createNode() != 0) watch_.lost();
}

void PipeWireSession::onError(int res) {
  coreError_ = res;
  pw_thread_loop_signal(loop_, false);
  // The next tick drops the connection: it must not be destroyed inside its own event.
  watch_.lost();
}

void PipeWireSession::onNodeLost() {
  // With the daemon alive no ping goes unanswered: the lost node is an outage of its own, and
  // the reconnect brings a new one with every stream linked again.
  if (watch_.running() && watch_.up()) watch_.lost();
}

OSStatus PipeWireSession::createNode() {
  auto node = std::make_unique<CaptureNode>();
  node->fallbackRate = graph_.graphRate();
  // A node that failed half-way is dropped here: it never had the session's listener.
  if (const OSStatus status = node->create(core_, names_); status != 0) return status;
  node_ = std::move(node);
  pw_filter_add_listener(node_->filter, &nodeListener_, &kCaptureNode, this);
  return 0;
}

void PipeWireSession::destroyNode() {
  if (node_) spa_hook_remove(&nodeListener_);
  node_.reset();
}

void PipeWireSession::adoptNode() {
  if (!node_) return;
  if (!graph_.captureNode()) {
    const uint32_t id = pw_filter_get_node_id(node_->filter);
    if (id == SPA_ID_INVALID) return;
    graph_.adoptCaptureNode(id);
    if (!graph_.captureNode()) return;  // its ports are still to come
  }
  if (watch_.connecting()) watch_.reconnected();
  pw_thread_loop_signal(loop_, false);
}

OSStatus PipeWireSession::openCaptureNode(const CaptureNodeNames& names, uint32_t& nodeId) {
  const LoopLock held = lock();
  if (node_) return -EEXIST;
  names_ = names;
  OSStatus status = createNode();
  // Wait until the daemon has given the node its id and its two ports are in the registry.
  timespec deadline{};
  pw_thread_loop_get_time(loop_, &deadline, 3 * SPA_NSEC_PER_SEC);
  while (status == 0 && !graph_.captureNode()) {
    if (pw_filter_get_state(node_->filter, nullptr) == PW_FILTER_STATE_ERROR) status = -EIO;
    if (coreError_ != 0) status = coreError_;
    if (status == 0 && pw_thread_loop_timed_wait_full(loop_, &deadline) != 0) {
      status = timeoutCause();
    }
  }
  if (status != 0) {
    destroyNode();
    return status;
  }
  nodeId = *graph_.captureNode();
  return 0;
}

OSStatus PipeWireSession::start(IOQueue& queue) {
  const LoopLock held = lock();
  if (!node_) return -ENODEV;
  queue_ = &queue;
  node_->queue.store(queue_, std::memory_order_release);
  const int res = pw_filter_set_active(node_->filter, true);
  if (res < 0) return res;
  watch();
  return 0;
}

void PipeWireSession::closeCaptureNode() {
  const LoopLock held = lock();
  watch_.stop();  // no tick acts from here on
  destroyNode();  // dropLinks() waits for the daemon to have done both
}

void PipeWireSession::dropLinks() {
  const LoopLock held = lock();
  graph_.dropLinks();
  // The daemon has removed our node and links before we exit. Bounded: a frozen daemon
  // must not hold up the stop (the daemon removes them anyway once our socket closes).
  if (watch_.up() && core_ != nullptr) roundtrip(200);
}

}  // namespace lorvane::audio
