// Cancels from a second thread, as the window's Cancel button does while an
// operation runs on its worker: a long zip and a long extraction are stopped
// at seeded points (after the Nth event, or once N bytes were written), many
// seeds each. Wherever the cancel lands, the operation ends with
// EUserCanceled, the archive is as it was and no temporary file is left;
// and a cancel is never lost: when the operation finishes anyway (the
// cancel came after its point of no return), the flag is still set.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <thread>

#include "engine/support/Exceptions.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

enum class TPoint : u8 { Event, Byte };

struct TCancelCase {
  TPoint Point;
  bool Handshake;  // the operation waits at the point until the flag is set
  const char* Name;
};

// The second thread of one run. It waits for the operation's thread to
// reach the seeded point and then sets the engine's cancel flag. With a
// handshake the operation waits there until the flag is set, so the cancel
// lands exactly at the point; without, both go on at their own pace (the
// canceller first yields a seeded number of times).
class TCanceller {
 public:
  TCanceller(TUnZipEngine& engine, bool handshake, int yields)
      : FEngine(engine), FHandshake(handshake), FYields(yields), FThread([this] { Run(); }) {}
  ~TCanceller() { Finish(); }
  TCanceller(const TCanceller&) = delete;
  TCanceller& operator=(const TCanceller&) = delete;

  // On the operation's thread; only the first call acts.
  void Reached() {
    std::unique_lock lock(FMutex);
    if (FReached) return;
    FReached = true;
    FChanged.notify_all();
    if (FHandshake) FChanged.wait(lock, [this] { return FSet; });
  }

  // After the operation: lets a canceller whose point never came end, and
  // waits for it. True when it set the flag.
  bool Finish() {
    {
      const std::lock_guard lock(FMutex);
      FDone = true;
    }
    FChanged.notify_all();
    if (FThread.joinable()) FThread.join();
    return FSet;
  }

 private:
  void Run() {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FReached || FDone; });
    if (!FReached) return;
    lock.unlock();
    for (int i = 0; i < FYields; ++i) std::this_thread::yield();
    FEngine.CancelOperation = true;
    lock.lock();
    FSet = true;
    FChanged.notify_all();
  }

  TUnZipEngine& FEngine;
  const bool FHandshake;
  const int FYields;
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FReached = false;
  bool FSet = false;
  bool FDone = false;
  std::thread FThread;
};

// Runs `work` on a thread of its own, as the window does, and gives it at
// most a minute: a run that hangs ends the test program rather than CTest's
// patience.
void RunBounded(const std::function<void()>& work) {
  std::promise<void> ended;
  auto future = ended.get_future();
  std::thread worker([&] {
    work();
    ended.set_value();
  });
  if (future.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
    std::fprintf(stderr, "an operation did not end within a minute after a cancel\n");
    std::abort();
  }
  worker.join();
}

using CancelAtAPrompt = test::TKeptArchiveFixture;

// What one run saw.
struct TOutcome {
  bool Canceled = false;
  bool FlagPending = false;  // CancelOperation still set afterwards
  bool Fired = false;        // the canceller set the flag
  std::string Error;         // any other exception
};

class ThreadedCancel : public test::TKeptArchiveFixture,
                       public testing::WithParamInterface<TCancelCase> {
 protected:
  static constexpr int kSeeds = 24;

  void SetUp() override {
    TKeptArchiveFixture::SetUp();
    // Long enough for dozens of events and several writes; short enough for
    // the sanitizers.
    for (int i = 0; i < 4; ++i) {
      const std::string name = "long" + std::to_string(i) + (i % 2 == 0 ? ".txt" : ".bin");
      test::WriteFileBytes(Src + name, i % 2 == 0
                                           ? test::TextBytes(90000, 10u + static_cast<u32>(i))
                                           : test::RandomBytes(40000, 20u + static_cast<u32>(i)));
      LongNames.push_back(name);
    }
  }

  // The seeded point of run `seed`: 1..total, spread over the whole run.
  static i64 PointOf(int seed, i64 total) {
    std::mt19937 random(static_cast<u32>(seed) * 7919u + 17u);
    return std::uniform_int_distribution<i64>(1, std::max<i64>(total, 1))(random);
  }

  // Every event of both operations reaches `hit`.
  static void CountEvents(TZipEngine& engine, const std::function<void()>& hit) {
    engine.OnStartZipInfo = [hit](TZipEngine&, int, i64, TEndCentral&, bool&) { hit(); };
    engine.OnStartZip = [hit](TZipEngine&, const std::string&, TZipHeaderInfo&, bool&) { hit(); };
    engine.OnEndZip = [hit](TZipEngine&, const std::string&, u32, u32, i64) { hit(); };
    engine.OnFilePercentDone = [hit](TUnZipEngine&, int) { hit(); };
    engine.OnTotalPercentDone = [hit](TUnZipEngine&, int) { hit(); };
    engine.OnStartUnZipInfo = [hit](TUnZipEngine&, int, i64, bool&) { hit(); };
    engine.OnStartUnZip = [hit](TUnZipEngine&, int, const std::string&, bool&) { hit(); };
    engine.OnEndUnZip = [hit](TUnZipEngine&, int, const std::string&) { hit(); };
  }

  // Runs `operation` on a worker with a canceller at point `at` (0: none),
  // counting events and bytes; `events` and `bytes` receive the totals.
  TOutcome Run(TZipEngine& engine, const std::function<void()>& operation, i64 at, int seed,
               i64* events = nullptr, i64* bytes = nullptr) {
    const TCancelCase& c = GetParam();
    TCanceller canceller(engine, c.Handshake, seed % 7 * 50);
    i64 eventCount = 0;
    const i64 bytesBefore = Fake.Files.BytesWritten;
    CountEvents(engine, [&] {
      if (++eventCount == at && c.Point == TPoint::Event) canceller.Reached();
    });
    Fake.Files.OnWritten = [&](i64 written) {
      if (at > 0 && c.Point == TPoint::Byte && written - bytesBefore >= at) canceller.Reached();
    };
    TOutcome outcome;
    RunBounded([&] {
      try {
        operation();
      } catch (const EUserCanceled& e) {
        outcome.Canceled = true;
        EXPECT_STREQ(e.what(), "User Aborted Operation");
      } catch (const std::exception& e) {
        outcome.Error = e.what();
      }
    });
    Fake.Files.OnWritten = nullptr;
    outcome.Fired = canceller.Finish();
    outcome.FlagPending = engine.CancelOperation;
    if (events != nullptr) *events = eventCount;
    if (bytes != nullptr) *bytes = Fake.Files.BytesWritten - bytesBefore;
    return outcome;
  }

  // The checks every run shares: the cancel came, and it was either honoured
  // or is still pending.
  void ExpectNotLost(const TOutcome& o, int seed) {
    EXPECT_EQ(o.Error, "") << "seed " << seed;
    EXPECT_TRUE(o.Fired) << "seed " << seed << ": the seeded point never came";
    EXPECT_NE(o.Canceled, o.FlagPending) << "seed " << seed;
    if (GetParam().Handshake) {
      EXPECT_TRUE(o.Canceled) << "seed " << seed;
    }
  }

  std::unique_ptr<TZipEngine> ZipEngineFor(const std::string& archive) {
    auto engine = RelativeEngine(archive);
    engine->FilesList.clear();
    for (const auto& name : LongNames) engine->FilesList.push_back(Src + name);
    engine->FilesList.push_back(Src + "sub/run.dat");
    return engine;
  }

  std::vector<std::string> LongNames;
};

TEST_P(ThreadedCancel, LongZip) {
  // A dry run on a copy measures the run.
  const std::string dry = Path("dry.zip");
  test::WriteFileBytes(dry, Original);
  i64 events = 0, bytes = 0;
  {
    auto engine = ZipEngineFor(dry);
    const TOutcome o = Run(
        *engine, [&] { engine->PerformZip(); }, 0, 0, &events, &bytes);
    ASSERT_FALSE(o.Canceled);
    ASSERT_EQ(o.Error, "");
  }
  ASSERT_GT(events, 20);
  ASSERT_GT(bytes, 100000);
  const i64 total = GetParam().Point == TPoint::Event ? events : bytes;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    test::WriteFileBytes(Archive, Original);
    auto engine = ZipEngineFor(Archive);
    const TOutcome o = Run(
        *engine, [&] { engine->PerformZip(); }, PointOf(seed, total), seed);
    ExpectNotLost(o, seed);
    if (o.Canceled) {
      ExpectUnchanged();
    } else {
      EXPECT_EQ(Names(Archive).size(), 2u + LongNames.size() + 1) << "seed " << seed;
    }
    EXPECT_TRUE(TempFiles().empty()) << "seed " << seed;
    if (HasFailure()) break;
  }
}

TEST_P(ThreadedCancel, LongExtraction) {
  const std::string archive = Path("long.zip");
  {
    auto engine = ZipEngineFor(archive);
    ASSERT_EQ(engine->PerformZip(), static_cast<int>(LongNames.size()) + 1);
  }
  const std::vector<u8> before = test::ReadFileBytes(archive);
  const std::string out = Path("out/");
  // Two targets stand already: their members go through a file beside them.
  const std::vector<std::string> existing = {LongNames[1], LongNames[2]};
  const auto prepare = [&] {
    std::filesystem::remove_all(out);
    test::MakeFolders(out + "sub");
    for (const auto& name : existing) test::WriteFileText(out + name, "old " + name);
  };
  const auto extract = [&](TZipEngine& engine) {
    engine.SetDestDir(out);
    engine.DoAll = true;
    engine.RecreateDirs = true;
    engine.OverwriteMode = TUZOverwriteMode::Always;
    engine.UnZip();
  };
  prepare();
  i64 events = 0, bytes = 0;
  {
    TZipEngine engine(Services());
    engine.SetZipName(archive);
    const TOutcome o = Run(
        engine, [&] { extract(engine); }, 0, 0, &events, &bytes);
    ASSERT_FALSE(o.Canceled);
    ASSERT_EQ(o.Error, "");
  }
  ASSERT_GT(events, 20);
  ASSERT_GT(bytes, 100000);
  const i64 total = GetParam().Point == TPoint::Event ? events : bytes;
  std::vector<std::string> members = LongNames;
  members.push_back("sub/run.dat");
  for (int seed = 1; seed <= kSeeds; ++seed) {
    prepare();
    TZipEngine engine(Services());
    engine.SetZipName(archive);
    const TOutcome o = Run(
        engine, [&] { extract(engine); }, PointOf(seed, total), seed);
    ExpectNotLost(o, seed);
    EXPECT_EQ(test::ReadFileBytes(archive), before) << "seed " << seed;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
      EXPECT_EQ(entry.path().filename().string().rfind(".vz", 0), std::string::npos)
          << "seed " << seed << ": " << entry.path() << " left behind";
    }
    // Each target holds its member whole, what stood there before, or (a
    // member cut short where no file stood) the start of the member.
    for (const auto& name : members) {
      const std::vector<u8> member = test::ReadFileBytes(Src + name);
      if (!test::FileExists(out + name)) {
        EXPECT_TRUE(o.Canceled) << "seed " << seed << ": " << name << " missing";
        continue;
      }
      const std::vector<u8> got = test::ReadFileBytes(out + name);
      const std::string old = "old " + name;
      const bool wasThere = std::find(existing.begin(), existing.end(), name) != existing.end();
      const bool whole = got == member;
      const bool untouched = wasThere && got == std::vector<u8>(old.begin(), old.end());
      const bool start = !wasThere && o.Canceled && got.size() <= member.size() &&
                         std::equal(got.begin(), got.end(), member.begin());
      EXPECT_TRUE(whole || untouched || start) << "seed " << seed << ": " << name;
    }
    if (HasFailure()) break;
  }
}

// A cancel that comes while an operation waits for the user (the window's
// Cancel pressed while a prompt is open) is not cleared by the operations
// the outer one runs afterwards: here the directory read and the rewrite
// inside a repair.
TEST_F(CancelAtAPrompt, CancelDuringADialogOutlivesNestedOperations) {
  const auto whole = test::ReadFileBytes(Archive);
  test::WriteFileBytes(Path("noend.zip"), std::vector<u8>(whole.begin(), whole.end() - 33));
  TZipEngine engine(Services());
  engine.SetZipName(Archive);
  Host.FileDialogAnswers = {Path("noend.zip"), Path("out.zip")};
  Host.OnDialog = [&] {
    std::thread([&] { engine.CancelOperation = true; }).join();
    Host.OnDialog = nullptr;
  };
  EXPECT_THROW(engine.RepairArchive("", ""), EUserCanceled);
  EXPECT_EQ(Host.FileDialogs.size(), 2u);
  EXPECT_FALSE(test::FileExists(Path("out.zip")));
  EXPECT_FALSE(engine.CancelOperation);  // spent by the exception
  ExpectUnchanged();
}

INSTANTIATE_TEST_SUITE_P(Points, ThreadedCancel,
                         testing::Values(TCancelCase{TPoint::Event, true, "AtEvent"},
                                         TCancelCase{TPoint::Event, false, "AfterEvent"},
                                         TCancelCase{TPoint::Byte, true, "AtByte"},
                                         TCancelCase{TPoint::Byte, false, "AfterByte"}),
                         [](const testing::TestParamInfo<TCancelCase>& p) {
                           return std::string(p.param.Name);
                         });

}  // namespace
}  // namespace vz
