// TCompressionPipeline: compresses the next members of a zip operation on
// worker threads while the operation's thread writes the current one.
//
// The operation's thread does everything the world can see: it reads the
// files ahead (through the platform, which need not be thread-safe), and at
// each member's turn opens the file again, fires every event and writes.
// Workers only turn bytes in memory into deflate output with their own
// compressor, and record the compressor's reads and writes in order, so
// that the operation's thread replays them at the member's turn: the same
// progress events, the same writes and cancel checks, the same bytes as a
// member compressed there and then. A member read ahead whose file is no
// longer the file that was read, or whose compression failed or was
// stopped, is compressed at its turn in the ordinary way.
//
// Memory: at most kBytesAheadPerWorker of input read ahead and not yet
// written per worker, no member above kLargestMember (larger ones are
// compressed at their turn), and while a member is compressed its output
// beside its input; see the constants.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/format/ZipHeaderInfo.h"
#include "platform/FileSystem.h"

namespace vz {

class TDeflater;

// One step of the compressor over a member, in the order it made them.
enum class TCompressStepKind : u8 { Read = 0, Write = 1 };

struct TCompressStep {
  TCompressStepKind Kind;
  u32 Bytes;
};

// A member compressed by a worker, as its turn takes it.
struct TCompressedMember {
  std::string Name;      // the FilesList line
  TFileInfo Identity;    // the open file it was read from
  int Level = 6;         // the level it was compressed at
  std::vector<u8> Data;  // the compressor's output
  std::vector<TCompressStep> Steps;
  u32 Crc = 0;  // of the input, finished
  // What the compressor set in the member's header.
  u16 Flags = 0;
  u16 InternalAttributes = 0;
  u16 CompressionMethod = 0;
};

class TCompressionPipeline {
 public:
  // Members larger than this are left to their turn.
  static constexpr i64 kLargestMember = i64{8} << 20;
  // Input read ahead and not yet written, per worker.
  static constexpr i64 kBytesAheadPerWorker = i64{8} << 20;
  // What a member read ahead costs beyond its bytes (its record, the
  // compressor's steps), charged against kBytesAheadPerWorker, so that
  // tiny files are bounded too.
  static constexpr i64 kMemberOverheadBytes = 1024;
  // Planned lines looked at and not yet taken, read ahead or not.
  static constexpr std::size_t kMostLinesAhead = 65536;

  // `plan`: the files in the order the operation is expected to take them
  // (a folder line, ending in "/", is passed over). `cancel` stops the
  // workers' compression early; `files` is used on the calling thread only.
  TCompressionPipeline(IFileSystem& files, int workers, int level, std::vector<std::string> plan,
                       const std::atomic<bool>& cancel);
  // Stops the workers and waits for them.
  ~TCompressionPipeline();
  TCompressionPipeline(const TCompressionPipeline&) = delete;
  TCompressionPipeline& operator=(const TCompressionPipeline&) = delete;

  int Workers() const { return static_cast<int>(FThreads.size()); }

  // Reads planned files ahead as far as the bounds allow and queues them.
  void Feed();
  // The compressed member of the FilesList line `name`, waiting for its
  // worker; nullptr when it was not read ahead or its compression failed or
  // was stopped (the caller compresses it then). Planned members before it
  // are dropped.
  std::unique_ptr<TCompressedMember> Take(const std::string& name);

 private:
  enum class TState : u8 { Queued = 0, Running = 1, Done = 2, Failed = 3, Dropped = 4 };
  struct TJob {
    TCompressedMember Member;
    std::vector<u8> Input;
    i64 Charged = 0;  // of FBytesAhead
    TState State = TState::Queued;
    std::atomic<bool> Abandoned{false};  // a worker may stop compressing it
  };

  std::shared_ptr<TJob> ReadAhead(const std::string& name);
  void Release(TJob& job);
  void Work();
  bool Compress(TDeflater& deflater, TJob& job);

  IFileSystem& FFiles;
  const int FLevel;
  const std::vector<std::string> FPlan;
  const std::atomic<bool>& FCancel;
  std::size_t FNextToRead = 0;         // in FPlan
  std::optional<TFileInfo> FNextInfo;  // of FPlan[FNextToRead], once looked at
  // Planned members read ahead, in plan order; nullptr: not read ahead.
  std::deque<std::pair<std::string, std::shared_ptr<TJob>>> FAhead;
  i64 FBytesAhead = 0;

  std::mutex FMutex;
  std::condition_variable FWorkArrived;
  std::condition_variable FWorkDone;
  std::deque<std::shared_ptr<TJob>> FQueue;  // guarded by FMutex, as every TJob::State
  bool FStop = false;
  int FLiveWorkers = 0;            // guarded by FMutex
  const TJob* FAwaited = nullptr;  // the job Take waits for; guarded by FMutex
  std::atomic<bool> FStopping{false};
  i64 FBytesLimit = 0;
  std::vector<std::jthread> FThreads;  // last: joined before the rest goes
};

}  // namespace vz
