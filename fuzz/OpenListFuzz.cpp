// Opens an arbitrary file as an archive and lists it the way a front end
// does: every accessor of every entry, its comment, the archive comment. The
// last three bits of the input's length pick the sort order of the list, so
// all eight orders are exercised. The reader may refuse the file with one of
// its errors (EVarnelError); any other exception, a crash or a view that is
// not a permutation of the catalogue is a finding.
#include <unordered_set>

#include "engine/reader/UnZipEngine.h"
#include "engine/support/Exceptions.h"
#include "fuzz/FuzzSupport.h"

namespace {

// The engine with the view's catalogue rows in sight.
class TListedEngine : public vz::TUnZipEngine {
 public:
  using TUnZipEngine::RowOf;
  using TUnZipEngine::TUnZipEngine;
};

void ListEverything(TListedEngine& engine) {
  using namespace vz;
  std::unordered_set<int> seen;
  for (int i = 0; i < engine.Count(); ++i) {
    fuzz::Check(seen.insert(engine.RowOf(i)).second, "one entry at two places of the view");
    (void)engine.Filename(i);
    (void)engine.Pathname(i);
    const std::string name = engine.FullName(i);
    (void)engine.CompressMethod(i);
    (void)engine.DateTime(i);
    (void)engine.Crc(i);
    (void)engine.CompressedSize(i);
    (void)engine.UncompressedSize(i);
    (void)engine.IsEncrypted(i);
    (void)engine.DiskNo(i);
    const std::string comment = engine.FileComment(i);
    fuzz::Check(comment.size() <= engine.Entry(i).FileCommentLength,
                "a comment longer than its recorded length");
  }
  const std::string comment = engine.ZipComment();
  fuzz::Check(comment.size() <= engine.EndCentral().ZipCommentLength,
              "an archive comment longer than its recorded length");
  try {
    (void)engine.Entry(engine.Count());
    fuzz::Fail("an index past the end was accepted");
  } catch (const EListError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vz;
  static fuzz::TScratchFile file;
  const std::string& path = file.Write({data, size});
  TListedEngine engine(fuzz::PosixServices());
  engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  engine.SortMode = static_cast<TZipSortMode>(size % 8);
  engine.SetZipName(path);
  try {
    engine.ReadZip();
    ListEverything(engine);
  } catch (const EVarnelError&) {
  }
  return 0;
}
