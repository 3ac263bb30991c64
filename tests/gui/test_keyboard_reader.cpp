// The keyboard reader and its ring buffer, without Qt: keys come from a
// scripted source that blocks like the picture window's key read.
#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "keys/key_ring.h"
#include "keys/keyboard_reader.h"

using namespace lozengia;

namespace {

// Waits for a condition; a test that never gets there is ended by its ctest
// timeout.
template <class F>
void wait_for(F done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int thread_count() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// A window whose keys the test types. post_key() behaves like a key typed by
// the user; after close() no key comes and every read returns empty, like the
// windowing layer shutting down (a posted key is then lost, too).
class ScriptedKeys final : public KeySource {
 public:
  void type(char c) {
    {
      std::lock_guard<std::mutex> lock(m_);
      if (!capturing_ || closed_) return;
      keys_.push_back(c);
    }
    cv_.notify_all();
  }
  void close() {
    {
      std::lock_guard<std::mutex> lock(m_);
      closed_ = true;
    }
    cv_.notify_all();
  }
  int reads() const {
    std::lock_guard<std::mutex> lock(m_);
    return reads_;
  }
  bool capturing() const {
    std::lock_guard<std::mutex> lock(m_);
    return capturing_;
  }
  int unread() const {
    std::lock_guard<std::mutex> lock(m_);
    return static_cast<int>(keys_.size());
  }

  void set_key_capture(int, bool on) override {
    std::lock_guard<std::mutex> lock(m_);
    capturing_ = on;
    keys_.clear();
  }
  std::optional<char> read_key(int) override {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return closed_ || !keys_.empty(); });
    if (closed_) return std::nullopt;
    const char c = keys_.front();
    keys_.pop_front();
    ++reads_;
    return c;
  }
  void post_key(int, char c) override { type(c); }
  void focus(int) override {}
  void beep() override { ++beeps; }

  std::atomic<int> beeps{0};

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::deque<char> keys_;
  bool capturing_ = false;
  bool closed_ = false;
  int reads_ = 0;
};

}  // namespace

// ------------------------------------------------------------------- ring

TEST(KeyRing, KeepsOrderAcrossTheWrapOfItsIndexes) {
  int beeps = 0;
  KeyRing ring([&] { ++beeps; });
  // 1000 keys through a 256-slot ring, up to 100 waiting at a time.
  int next_in = 0, next_out = 0;
  while (next_out < 1000) {
    for (int k = 0; k < 100 && next_in < 1000; ++k)
      ASSERT_TRUE(ring.push(static_cast<char>(next_in++ % 120 + 1)));
    while (ring.has_key()) ASSERT_EQ(ring.take(), static_cast<char>(next_out++ % 120 + 1));
  }
  EXPECT_EQ(beeps, 0);
  EXPECT_EQ(ring.size(), 0);
}

TEST(KeyRing, HoldsTwoHundredFiftyFiveAndRefusesTheNextWithABeep) {
  int beeps = 0;
  KeyRing ring([&] { ++beeps; });
  ring.take();  // empty: a blank and a beep
  ASSERT_EQ(beeps, 1);
  for (int k = 0; k < KeyRing::kUsable; ++k) ASSERT_TRUE(ring.push('a' + k % 26)) << k;
  EXPECT_EQ(ring.size(), 255);
  EXPECT_FALSE(ring.push('!'));
  EXPECT_EQ(beeps, 2);
  EXPECT_EQ(ring.size(), 255);
  // The refused key did not overwrite the oldest one.
  EXPECT_EQ(ring.take(), 'a');
  EXPECT_TRUE(ring.push('!'));
  for (int k = 1; k < KeyRing::kUsable; ++k) ASSERT_EQ(ring.take(), 'a' + k % 26);
  EXPECT_EQ(ring.take(), '!');
  EXPECT_EQ(ring.take(), ' ');
  EXPECT_EQ(beeps, 3);
  ring.push('x');
  ring.clear();
  EXPECT_FALSE(ring.has_key());
}

// ----------------------------------------------------------------- reader

TEST(KeyboardReader, QueuesTypedKeysInOrderAndDropsThe256th) {
  ScriptedKeys src;
  KeyboardReader reader(src);
  reader.start(27);
  EXPECT_FALSE(reader.key_waiting());
  for (int k = 0; k < 300; ++k) src.type(static_cast<char>('a' + k % 26));
  wait_for([&] { return src.reads() == 300; });
  EXPECT_EQ(reader.waiting_keys(), 255);
  EXPECT_EQ(src.beeps.load(), 45);
  EXPECT_TRUE(reader.key_waiting());
  for (int k = 0; k < 255; ++k) ASSERT_EQ(reader.take_key(), static_cast<char>('a' + k % 26));
  EXPECT_FALSE(reader.key_waiting());
  EXPECT_EQ(reader.take_key(), ' ');
  EXPECT_EQ(src.beeps.load(), 46);
  reader.stop();
  EXPECT_FALSE(reader.running());
  EXPECT_FALSE(reader.ended_by_itself());
  EXPECT_FALSE(src.capturing());
}

TEST(KeyboardReader, ATypedQEndsTheReaderUnqueuedAndCountsAsAKey) {
  ScriptedKeys src;
  KeyboardReader reader(src);
  reader.start(27);
  src.type('a');
  src.type('Q');
  src.type('b');
  wait_for([&] { return !reader.running(); });
  EXPECT_EQ(reader.waiting_keys(), 1);
  EXPECT_TRUE(reader.ended_by_itself());
  EXPECT_EQ(src.unread(), 1);  // "b" was never read
  EXPECT_EQ(reader.take_key(), 'a');
  // Nothing waits, yet a loop that runs until a key must stop: the reader
  // that would see the key is gone.
  EXPECT_TRUE(reader.key_waiting());
  reader.stop();
  // A new start gives a fresh reader with an empty ring.
  reader.start(27);
  EXPECT_FALSE(reader.key_waiting());
  src.type('c');
  wait_for([&] { return reader.key_waiting(); });
  EXPECT_EQ(reader.take_key(), 'c');
  reader.stop();
}

TEST(KeyboardReader, StartAndStopManyTimesLeaveNoThreadBehind) {
  const int before = thread_count();
  ScriptedKeys src;
  KeyboardReader reader(src);
  for (int round = 0; round < 300; ++round) {
    reader.start(27);
    reader.start(27);  // a second start while running is nothing
    EXPECT_TRUE(reader.running());
    if (round % 3 == 0) {
      src.type('k');
      wait_for([&] { return reader.key_waiting(); });
      ASSERT_EQ(reader.take_key(), 'k');
    }
    reader.stop();
    ASSERT_FALSE(reader.running());
    ASSERT_FALSE(reader.ended_by_itself()) << round;
    reader.stop();  // stopping twice is harmless
  }
  EXPECT_EQ(thread_count(), before);
}

TEST(KeyboardReader, TheWindowClosingWakesABlockedReader) {
  const int before = thread_count();
  ScriptedKeys src;
  KeyboardReader reader(src);
  reader.start(27);
  wait_for([&] { return thread_count() == before + 1; });
  src.close();  // from now on the stop key cannot be delivered either
  wait_for([&] { return !reader.running(); });
  EXPECT_TRUE(reader.key_waiting());
  reader.stop();  // joins; would hang if the read were still blocked
  EXPECT_EQ(thread_count(), before);
}

TEST(KeyboardReader, StoppingWhileTheWindowClosesDoesNotHang) {
  for (int round = 0; round < 100; ++round) {
    ScriptedKeys src;
    KeyboardReader reader(src);
    reader.start(27);
    std::thread closer([&] { src.close(); });
    reader.stop();
    closer.join();
    ASSERT_FALSE(reader.running());
  }
}

// No thread to be had (the user may start no more processes): the start says
// so and leaves no capture behind; once threads can be had again, the next
// start reads keys as ever. In a child, as an unprivileged user (root is not
// held to the limit).
TEST(KeyboardReader, AReaderThatCannotStartSaysSoAndTheNextStartWorks) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 0;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(90);
    struct rlimit lim {};
    ::getrlimit(RLIMIT_NPROC, &lim);
    const rlim_t old = lim.rlim_cur;
    lim.rlim_cur = 1;
    if (::setrlimit(RLIMIT_NPROC, &lim) != 0) ::_exit(91);
    ScriptedKeys src;
    KeyboardReader reader(src);
    if (reader.start(27)) code |= 1;
    if (reader.running() || src.capturing() || reader.key_waiting()) code |= 2;
    reader.stop();  // nothing to stop
    lim.rlim_cur = old;
    ::setrlimit(RLIMIT_NPROC, &lim);
    if (!reader.start(27)) code |= 4;
    src.type('k');
    wait_for([&] { return reader.key_waiting(); });
    if (reader.take_key() != 'k') code |= 8;
    reader.stop();
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: started, 2: running or capturing, 4: no second start, 8: wrong key";
}
