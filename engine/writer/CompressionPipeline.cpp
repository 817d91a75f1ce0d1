// The workers of TCompressionPipeline and the read-ahead that feeds them.
// Everything on FAhead, FNextToRead and FBytesAhead belongs to the
// operation's thread; a job's State and the queue are shared under FMutex,
// and a job's Member and Input are handed over with its State.
#include "engine/writer/CompressionPipeline.h"

#include <algorithm>
#include <system_error>

#include "engine/codecs/Deflate.h"
#include "engine/support/Crc32.h"
#include "engine/support/Exceptions.h"

namespace vz {
namespace {

// Thrown through the compressor to abandon a member.
struct TStopCompressing {};

// Room for what deflate adds to data it cannot shrink (a few bytes a
// block); more than this means something is wrong, and the member is left
// to its turn.
std::size_t OutputLimit(std::size_t input) {
  return input + input / 16 + 256;
}

}  // namespace

TCompressionPipeline::TCompressionPipeline(IFileSystem& files, int workers, int level,
                                           std::vector<std::string> plan,
                                           const std::atomic<bool>& cancel)
    : FFiles(files), FLevel(level), FPlan(std::move(plan)), FCancel(cancel) {
  const auto count = static_cast<std::size_t>(std::max(workers, 1));
  FBytesLimit = kBytesAheadPerWorker * static_cast<i64>(count);
  FThreads.reserve(count);
  try {
    for (std::size_t i = 0; i < count; ++i) {
      {
        const std::lock_guard lock(FMutex);
        ++FLiveWorkers;
      }
      FThreads.emplace_back([this] { Work(); });
    }
  } catch (const std::system_error&) {
    const std::lock_guard lock(FMutex);
    --FLiveWorkers;  // counted for the thread that did not start
    // Fewer threads than asked: the members go on with those there are, and
    // with none each is compressed at its turn.
  }
}

TCompressionPipeline::~TCompressionPipeline() {
  {
    const std::lock_guard lock(FMutex);
    FStop = true;
  }
  FStopping = true;
  FWorkArrived.notify_all();
  // FThreads is the last member: the workers are joined before anything
  // they use goes.
}

// ---------------------------------------------------------------- the operation's thread

void TCompressionPipeline::Feed() {
  if (FThreads.empty()) return;
  while (FNextToRead < FPlan.size() && FAhead.size() < kMostLinesAhead) {
    const std::string& name = FPlan[FNextToRead];
    if (!FNextInfo && !name.empty() && name.back() != '/') FNextInfo = FFiles.Stat(name);
    const bool fits = FNextInfo && FNextInfo->IsRegular && FNextInfo->Size <= kLargestMember;
    // A member that does not fit beside those ahead waits for room.
    if (fits && FBytesAhead > 0 &&
        FBytesAhead + FNextInfo->Size + kMemberOverheadBytes > FBytesLimit) {
      return;
    }
    std::shared_ptr<TJob> job = fits ? ReadAhead(name) : nullptr;
    FNextInfo.reset();
    ++FNextToRead;
    if (job) {
      FBytesAhead += job->Charged;
      {
        const std::lock_guard lock(FMutex);
        FQueue.push_back(job);
      }
      FWorkArrived.notify_one();
    }
    FAhead.emplace_back(name, std::move(job));
  }
}

// The whole file in memory, or nullptr when it cannot be read now or is not
// the size it had (its turn will tell what is wrong with it, or read it as
// it is then).
std::shared_ptr<TCompressionPipeline::TJob> TCompressionPipeline::ReadAhead(
    const std::string& name) {
  auto job = std::make_shared<TJob>();
  try {
    const std::unique_ptr<IFile> file = FFiles.Open(name, TOpenMode::ReadDenyNone);
    job->Member.Identity = file->Info();
    const i64 size = job->Member.Identity.Size;
    if (!job->Member.Identity.IsRegular || size < 0 || size > kLargestMember) return nullptr;
    // One byte more than the size, to see a file that grew.
    job->Input.resize(static_cast<std::size_t>(size) + 1);
    std::size_t filled = 0;
    while (filled < job->Input.size()) {
      const std::size_t n = file->Read(std::span(job->Input).subspan(filled));
      if (n == 0) break;
      filled += n;
    }
    if (filled != static_cast<std::size_t>(size)) return nullptr;
    job->Input.pop_back();
  } catch (const EVarnelError&) {
    return nullptr;
  }
  job->Member.Name = name;
  job->Member.Level = FLevel;
  job->Charged = static_cast<i64>(job->Input.size()) + kMemberOverheadBytes;
  return job;
}

void TCompressionPipeline::Release(TJob& job) {
  FBytesAhead -= job.Charged;
  job.Charged = 0;
  job.Abandoned = true;
  const std::lock_guard lock(FMutex);
  if (job.State == TState::Queued || job.State == TState::Running) job.State = TState::Dropped;
}

std::unique_ptr<TCompressedMember> TCompressionPipeline::Take(const std::string& name) {
  Feed();
  const auto at = std::find_if(FAhead.begin(), FAhead.end(),
                               [&](const auto& ahead) { return ahead.first == name; });
  if (at == FAhead.end()) return nullptr;
  // Members planned before this one were not taken after all.
  for (auto it = FAhead.begin(); it != at; ++it) {
    if (it->second) Release(*it->second);
  }
  const std::shared_ptr<TJob> job = std::move(at->second);
  FAhead.erase(FAhead.begin(), at + 1);
  if (!job) return nullptr;
  std::unique_ptr<TCompressedMember> member;
  {
    std::unique_lock lock(FMutex);
    // The queue is in plan order, so a worker takes this one next; only
    // when no worker is left is it compressed at its turn.
    FAwaited = job.get();
    FWorkDone.wait(lock, [&] {
      return (job->State != TState::Queued && job->State != TState::Running) ||
             (job->State == TState::Queued && FLiveWorkers == 0);
    });
    FAwaited = nullptr;
    if (job->State == TState::Done) {
      member = std::make_unique<TCompressedMember>(std::move(job->Member));
    }
  }
  Release(*job);
  return member;
}

// ---------------------------------------------------------------- workers

void TCompressionPipeline::Work() {
  struct TLeave {
    TCompressionPipeline& Pipeline;
    ~TLeave() {
      {
        const std::lock_guard lock(Pipeline.FMutex);
        --Pipeline.FLiveWorkers;
      }
      Pipeline.FWorkDone.notify_all();
    }
  } leave{*this};
  try {
    TDeflater deflater;
    while (true) {
      std::shared_ptr<TJob> job;
      {
        std::unique_lock lock(FMutex);
        FWorkArrived.wait(lock, [&] { return FStop || !FQueue.empty(); });
        if (FStop) return;
        job = std::move(FQueue.front());
        FQueue.pop_front();
        if (job->State != TState::Queued) continue;
        job->State = TState::Running;
      }
      // However this member ends, the operation's thread hears of it.
      struct TFinish {
        TCompressionPipeline& Pipeline;
        TJob& Job;
        bool Done = false;
        ~TFinish() {
          bool awaited = false;
          {
            const std::lock_guard lock(Pipeline.FMutex);
            if (Job.State == TState::Running) Job.State = Done ? TState::Done : TState::Failed;
            awaited = Pipeline.FAwaited == &Job;
          }
          // Only the member waited for wakes the operation's thread.
          if (awaited) Pipeline.FWorkDone.notify_all();
        }
      } finish{*this, *job};
      finish.Done = Compress(deflater, *job);
    }
  } catch (...) {
    // A worker that cannot go on (no memory for its compressor) leaves its
    // members to their turns; nothing may escape a thread.
  }
}

bool TCompressionPipeline::Compress(TDeflater& deflater, TJob& job) {
  TCompressedMember& member = job.Member;
  const std::span<const u8> input(job.Input);
  const std::size_t limit = OutputLimit(input.size());
  std::size_t at = 0;
  const TDeflateRead read = [&](std::span<u8> buffer) -> std::size_t {
    if (FStopping || FCancel || job.Abandoned) throw TStopCompressing{};
    const std::size_t n = std::min(buffer.size(), input.size() - at);
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), n, buffer.begin());
    at += n;
    if (n > 0) member.Steps.push_back({TCompressStepKind::Read, static_cast<u32>(n)});
    return n;
  };
  const TDeflateWrite write = [&](std::span<const u8> bytes) {
    if (member.Data.size() + bytes.size() > limit) throw TStopCompressing{};
    member.Data.insert(member.Data.end(), bytes.begin(), bytes.end());
    member.Steps.push_back({TCompressStepKind::Write, static_cast<u32>(bytes.size())});
  };
  TZipHeaderInfo header;
  try {
    // Never grown: a doubling vector could hold twice the bound. Pages
    // never written take no memory.
    member.Data.reserve(limit);
    deflater.CompressMember(header, member.Level, read, write, member.Name);
  } catch (...) {
    // Whatever stopped it (a fault of the compressor, no memory, a stop)
    // happens again, or not, when the member is compressed at its turn.
    return false;
  }
  member.Crc = Crc32Of(input);
  member.Flags = header.Flags;
  member.InternalAttributes = header.InternalAttributes;
  member.CompressionMethod = header.CompressionMethod;
  std::vector<u8>().swap(job.Input);
  return true;
}

}  // namespace vz
