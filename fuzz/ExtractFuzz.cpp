// Opens an arbitrary file as an archive and extracts every member ("*") into
// one memory stream, with no password (even-length inputs) or a wrong one
// (odd lengths) and no handler to ask for another. Everything the members
// make is capped at kMaxOutputBytes: past it the stream refuses the write and
// the run ends with EInOutError. The engine may end the run with one of its
// errors (EVarnelError); any other exception, a crash, an event naming an
// entry that does not exist or a count above the entries is a finding.
#include "engine/reader/UnZipEngine.h"
#include "engine/support/Exceptions.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vz;
  static fuzz::TScratchFile file;
  const std::string& path = file.Write({data, size});
  TUnZipEngine engine(fuzz::PosixServices());
  engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  engine.Password = size % 2 == 0 ? "" : "not the password";
  const auto checkIndex = [&engine](int index) {
    fuzz::Check(index >= 0 && index < engine.Count(), "an event for an entry that does not exist");
  };
  engine.OnStartUnZip = [&](TUnZipEngine&, int index, const std::string&, bool&) {
    checkIndex(index);
  };
  engine.OnEndUnZip = [&](TUnZipEngine&, int index, const std::string&) { checkIndex(index); };
  engine.OnBadCRC = [&](TUnZipEngine&, u32, u32, int index) { checkIndex(index); };
  engine.OnSkippingFile = [&](TUnZipEngine&, TSkipReason, int index) { checkIndex(index); };
  engine.OnFilePercentDone = [](TUnZipEngine&, int percent) {
    fuzz::Check(percent >= 0 && percent <= 100, "a file percentage outside 0-100");
  };
  engine.OnTotalPercentDone = [](TUnZipEngine&, int percent) {
    fuzz::Check(percent >= 0 && percent <= 100, "a total percentage outside 0-100");
  };
  engine.SetZipName(path);
  fuzz::TCappedStream sink(fuzz::kMaxOutputBytes);
  try {
    engine.ReadZip();
    const int extracted = engine.UnZipToStream(sink, "*");
    fuzz::Check(extracted <= engine.Count(), "more members extracted than the archive holds");
  } catch (const EVarnelError&) {
  }
  return 0;
}
