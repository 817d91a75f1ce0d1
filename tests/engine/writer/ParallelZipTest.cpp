// Compressing on several threads changes nothing anyone can see: for each
// kind of tree the archives made with 1, 2 and 4 workers (and the default)
// are the same bytes, every event comes in the same order with the same
// arguments on the operation's thread, and a cancel at seeded points leaves
// the archive as it was with no temporary file and no thread behind.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "engine/support/Exceptions.h"
#include "engine/writer/CompressionPipeline.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

namespace fs = std::filesystem;

// Every file and folder of a tree gets this time, so that trees made again
// for each run give the same dates.
const fs::file_time_type kTreeTime = fs::file_time_type::clock::now() - std::chrono::hours(48);

// The threads of this process, to see that none outlives an operation.
std::size_t ThreadCount() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// What can change in the middle of a run, from the host's events.
enum class TDuring : u8 {
  Nothing = 0,
  Vanish = 1,       // a file read ahead is deleted before its turn
  Grow = 2,         // a file read ahead is rewritten, larger and newer
  BecomeFifo = 3,   // a file read ahead is replaced by a pipe
  ChangeLevel = 4,  // OnStartZip changes the level of one member
  SkipOne = 5,      // OnStartZip skips one member
};

struct TParallelCase {
  const char* Name;
  void (*Build)(const std::string& src);
  std::string Password;
  TZipEncryption Encryption = TZipEncryption::Traditional;
  int Level = 6;
  TDuring During = TDuring::Nothing;
  // An existing archive is updated (zaUpdate) or freshened: it is made from
  // the tree, then the files named "new*" and "newer*" are touched.
  bool Update = false;
  TZipAction Action = TZipAction::zaUpdate;
};

void PutFile(const std::string& path, const std::vector<u8>& bytes) {
  test::MakeFolders(fs::path(path).parent_path().string());
  test::WriteFileBytes(path, bytes);
}

void BuildMixed(const std::string& src) {
  for (u32 i = 0; i < 24; ++i) {
    const std::string folder = src + (i % 3 == 0 ? "" : "d" + std::to_string(i % 3) + "/");
    PutFile(folder + "t" + std::to_string(i) + ".txt", test::TextBytes(100 + i * 997, i));
  }
  PutFile(src + "empty1", {});
  PutFile(src + "d1/empty2", {});
  PutFile(src + "big.txt", test::TextBytes(300000, 77));
  PutFile(src + "d2/noise.bin", test::RandomBytes(70000, 5));
  PutFile(src + "d2/run.dat", std::vector<u8>(200000, 'r'));
  PutFile(src + "newer.txt", test::TextBytes(5000, 8));
  PutFile(src + "newer2.bin", test::RandomBytes(3000, 9));
  test::MakeFolders(src + "hollow/inner");
}

// Sizes around the block and window limits, all of which deflate cannot
// shrink: they are stored.
void BuildIncompressible(const std::string& src) {
  const std::size_t sizes[] = {0, 1, 16000, 16001, 32768, 65535, 65536, 70001, 200000};
  u32 seed = 100;
  for (const std::size_t size : sizes) {
    PutFile(src + "r" + std::to_string(size) + ".bin", test::RandomBytes(size, seed++));
  }
}

// One file too large to be compressed ahead among tiny ones.
void BuildLargeAndTiny(const std::string& src) {
  for (u32 i = 0; i < 10; ++i) PutFile(src + "a" + std::to_string(i), test::TextBytes(10 + i, i));
  PutFile(src + "huge.dat", std::vector<u8>(TCompressionPipeline::kLargestMember + 1, 'h'));
  for (u32 i = 0; i < 10; ++i) PutFile(src + "z" + std::to_string(i), test::TextBytes(40 + i, i));
}

void SetTreeTimes(const std::string& src) {
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_fifo()) fs::last_write_time(entry.path(), kTreeTime);
  }
  fs::last_write_time(src, kTreeTime);
}

// One run: the archive's bytes and every event with its arguments.
struct TRun {
  std::vector<u8> Archive;
  std::vector<std::string> Events;
  std::string Error;
  int Opens = 0;  // of files in the tree, for reading
};

class ParallelZip : public test::TWriterFixture, public testing::WithParamInterface<TParallelCase> {
 protected:
  void SetUp() override {
    TWriterFixture::SetUp();
    Tree = Path("tree/");
    Out = Path("out.zip");
  }

  void MakeTree() {
    fs::remove_all(Tree);
    test::MakeFolders(Tree);
    GetParam().Build(Tree);
    SetTreeTimes(Tree);
    if (GetParam().Update) MakeExisting();
  }

  // The archive an update starts from: the tree made by one thread, then
  // some files changed and some added.
  void MakeExisting() {
    fs::remove(Out);
    auto engine = Engine(1);
    engine->ZipAction = TZipAction::zaUpdate;
    engine->PerformZip();
    const auto later = kTreeTime + std::chrono::hours(1);
    for (const auto& entry : fs::recursive_directory_iterator(Tree)) {
      if (entry.path().filename().string().rfind("newer", 0) == 0) {
        fs::last_write_time(entry.path(), later);
      }
    }
    PutFile(Tree + "new/added.txt", test::TextBytes(4000, 55));
    PutFile(Tree + "new/added.bin", test::RandomBytes(4000, 56));
    fs::last_write_time(Tree + "new/added.txt", later);
    fs::last_write_time(Tree + "new/added.bin", later);
    fs::last_write_time(Tree + "new", later);
  }

  std::unique_ptr<TZipEngine> Engine(int workers) {
    const TParallelCase& c = GetParam();
    auto engine = std::make_unique<TZipEngine>(Services());
    engine->SetZipName(Out);
    engine->SetRootDir(Tree);
    engine->SetRelativePaths(true);
    engine->FilesList = {Tree + "*.*"};
    engine->Workers = workers;
    engine->PackLevel = c.Level;
    engine->Password = c.Password;
    engine->Encryption = c.Encryption;
    return engine;
  }

  // Records every event; those not on the operation's thread say so.
  void Record(TZipEngine& engine, std::vector<std::string>& events) {
    const auto here = std::this_thread::get_id();
    const auto add = [&events, here](std::string line) {
      if (std::this_thread::get_id() != here) line += " ON ANOTHER THREAD";
      events.push_back(std::move(line));
    };
    engine.OnStartZipInfo = [add](TZipEngine&, int files, i64 bytes, TEndCentral&, bool&) {
      add("info " + std::to_string(files) + " " + std::to_string(bytes));
    };
    engine.OnStartZip = [this, add](TZipEngine& sender, const std::string& name,
                                    TZipHeaderInfo& header, bool& skip) {
      add("start " + name + " " + header.FullName() + " " +
          std::to_string(header.UncompressedSize));
      During(sender, name, skip);
    };
    engine.OnEndZip = [this, add](TZipEngine&, const std::string& name, u64 size, u64 packed,
                                  i64 zipSize) {
      add("end " + name + " " + std::to_string(size) + " " + std::to_string(packed) + " " +
          std::to_string(zipSize));
      if (++Ended == 1) AfterFirstMember(name);
    };
    engine.OnFilePercentDone = [add](TUnZipEngine&, int p) { add("file% " + std::to_string(p)); };
    engine.OnTotalPercentDone = [add](TUnZipEngine&, int p) { add("total% " + std::to_string(p)); };
    engine.OnNoSuchFile = [add](TZipEngine&, const std::string& name) { add("nosuch " + name); };
    engine.OnSkippingFile = [add](TUnZipEngine&, TSkipReason reason, int index) {
      add("skipping " + std::to_string(static_cast<int>(reason)) + " " + std::to_string(index));
    };
    engine.OnDisposeFile = [add](TZipEngine&, const std::string& name, bool&) {
      add("dispose " + name);
    };
  }

  // The host's doings in OnStartZip.
  void During(TZipEngine& sender, const std::string& name, bool& skip) {
    const TDuring during = GetParam().During;
    if (during == TDuring::ChangeLevel && name.ends_with("t4.txt")) sender.PackLevel = 1;
    if (during == TDuring::ChangeLevel && name.ends_with("t5.txt")) sender.PackLevel = 6;
    if (during == TDuring::SkipOne && name.ends_with("t7.txt")) skip = true;
  }

  // What happens to a file read ahead once the first member is written:
  // to the first of two that was not that member.
  void AfterFirstMember(const std::string& first) {
    const auto pick = [&](const std::string& a, const std::string& b) {
      Target = Tree + a == first ? Tree + b : Tree + a;
      return Target;
    };
    switch (GetParam().During) {
      case TDuring::Vanish:
        fs::remove(pick("d1/t10.txt", "t12.txt"));
        break;
      case TDuring::Grow:
        test::WriteFileBytes(pick("d2/t11.txt", "t12.txt"), test::TextBytes(20000, 999));
        fs::last_write_time(Target, kTreeTime + std::chrono::seconds(10));
        break;
      case TDuring::BecomeFifo:
        fs::remove(pick("t15.txt", "t18.txt"));
        ASSERT_EQ(::mkfifo(Target.c_str(), 0600), 0);
        break;
      default:
        break;
    }
  }

  TRun MakeArchive(int workers) {
    // The same random bytes for every run, for the archive updated too.
    Fake.Random.State = 4242;
    MakeTree();
    TRun run;
    Fake.Random.State = 4243;
    Ended = 0;
    auto engine = Engine(workers);
    engine->ZipAction = GetParam().Action;
    if (!GetParam().Update) fs::remove(Out);
    Record(*engine, run.Events);
    const std::size_t threads = ThreadCount();
    Fake.Files.AfterOpenForReading = [&](const std::string& path) {
      if (path.rfind(Tree, 0) == 0) ++run.Opens;
    };
    try {
      engine->PerformZip();
    } catch (const std::exception& e) {
      run.Error = e.what();
    }
    Fake.Files.AfterOpenForReading = nullptr;
    EXPECT_EQ(ThreadCount(), threads) << "a thread outlived the operation";
    run.Archive = test::ReadFileBytes(Out);
    return run;
  }

  std::string Tree;
  std::string Out;
  int Ended = 0;
  std::string Target;  // the file changed in the middle of a run
};

TEST_P(ParallelZip, ArchiveAndEventsAreThoseOfOneThread) {
  const TRun one = MakeArchive(1);
  ASSERT_EQ(one.Error, "");
  ASSERT_GE(one.Events.size(), 6u);
  for (const int workers : {2, 4, 0}) {
    const TRun many = MakeArchive(workers);
    EXPECT_EQ(many.Error, "") << workers << " workers";
    // Files read ahead are opened once more at their turn.
    if (workers > 1) {
      EXPECT_GT(many.Opens, one.Opens) << workers << " workers";
    }
    EXPECT_EQ(many.Events, one.Events) << workers << " workers";
    EXPECT_TRUE(many.Archive == one.Archive) << workers << " workers: the archives differ";
  }
  EXPECT_TRUE(TempFiles().empty());
  // The change in the middle of the run came before the changed file's turn.
  const auto said = [&](const std::string& line) {
    return std::find(one.Events.begin(), one.Events.end(), line) != one.Events.end();
  };
  switch (GetParam().During) {
    case TDuring::Vanish:
    case TDuring::BecomeFifo:
      EXPECT_TRUE(said("nosuch " + Target)) << Target;
      break;
    case TDuring::Grow:
      EXPECT_EQ(Member(Out, fs::relative(Target, Tree).string()), test::TextBytes(20000, 999));
      break;
    default:
      break;
  }
}

TEST_P(ParallelZip, PeersAcceptTwoWorkersArchive) {
  const TRun two = MakeArchive(2);
  ASSERT_EQ(two.Error, "");
  if (GetParam().Encryption == TZipEncryption::Traditional || GetParam().Password.empty()) {
    ExpectPeersAccept(Out, GetParam().Password);
  } else if (test::HaveProgram("7z")) {
    // Of the peers only 7-Zip reads AES members.
    const auto r = test::RunCommand("7z t -p" + test::ShellQuote(GetParam().Password) + " " +
                                    test::ShellQuote(Out));
    EXPECT_EQ(r.ExitCode, 0) << "7z t: " << r.Output;
  }
}

const TParallelCase kCases[] = {
    {"Mixed", BuildMixed, ""},
    {"Incompressible", BuildIncompressible, ""},
    {"LargeAndTiny", BuildLargeAndTiny, "", TZipEncryption::Traditional, 1},
    {"Traditional", BuildMixed, "secret"},
    {"Aes256", BuildMixed, "secret", TZipEncryption::Aes256},
    {"Level9", BuildMixed, "", TZipEncryption::Traditional, 9},
    {"Level1", BuildIncompressible, "", TZipEncryption::Traditional, 1},
    {"Update", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::Nothing, true},
    {"Freshen", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::Nothing, true,
     TZipAction::zaFreshen},
    {"UpdateEncrypted", BuildMixed, "pw", TZipEncryption::Aes128, 6, TDuring::Nothing, true},
    {"Vanish", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::Vanish},
    {"Grow", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::Grow},
    {"BecomeFifo", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::BecomeFifo},
    {"ChangeLevel", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::ChangeLevel},
    {"SkipOne", BuildMixed, "", TZipEncryption::Traditional, 6, TDuring::SkipOne},
};

INSTANTIATE_TEST_SUITE_P(Trees, ParallelZip, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<TParallelCase>& p) {
                           return std::string(p.param.Name);
                         });

// Cancels from the operation's own events at seeded points of a run with two
// workers that replaces an existing archive.
class ParallelCancel : public test::TKeptArchiveFixture {};

TEST_F(ParallelCancel, AtSeededEventsLeavesTheArchiveAsItWas) {
  BuildMixed(Src + "many/");
  const auto prepare = [&](int at, int& events) {
    auto engine = RelativeEngine(Archive);
    engine->Workers = 2;
    engine->Recurse = true;
    engine->FilesList = {Src + "many/*.*"};
    const auto hit = [&events, at, e = engine.get()] {
      if (++events == at) e->CancelOperation = true;
    };
    engine->OnStartZip = [hit](TZipEngine&, const std::string&, TZipHeaderInfo&, bool&) { hit(); };
    engine->OnEndZip = [hit](TZipEngine&, const std::string&, u64, u64, i64) { hit(); };
    engine->OnFilePercentDone = [hit](TUnZipEngine&, int) { hit(); };
    engine->OnTotalPercentDone = [hit](TUnZipEngine&, int) { hit(); };
    return engine;
  };
  int total = 0;
  {
    const std::string dry = Path("dry.zip");
    test::WriteFileBytes(dry, Original);
    auto engine = prepare(0, total);
    engine->SetZipName(dry);
    engine->PerformZip();
  }
  ASSERT_GT(total, 50);
  std::mt19937 random(2026);
  for (int seed = 0; seed < 12; ++seed) {
    const int at = std::uniform_int_distribution<int>(1, total)(random);
    int events = 0;
    auto engine = prepare(at, events);
    const std::size_t threads = ThreadCount();
    EXPECT_THROW(engine->PerformZip(), EUserCanceled) << "cancel at event " << at;
    EXPECT_EQ(ThreadCount(), threads) << "cancel at event " << at;
    ExpectUnchanged();
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace vz
