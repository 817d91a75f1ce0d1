#include "cli/CommandLine.h"

#include <array>
#include <charconv>

namespace vz::cli {
namespace {

using enum TCommandKind;

struct TCommandInfo {
  TCommandKind Kind;
  std::string_view Letter;
  std::string_view Name;
  std::size_t MinNames;  // after the archive
  std::size_t MaxNames;
};

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

constexpr std::array<TCommandInfo, 9> kCommands{{
    {List, "l", "list", 0, 0},
    {Test, "t", "test", 0, kAny},
    {Extract, "x", "extract", 0, kAny},
    {Print, "p", "print", 1, 1},
    {Add, "a", "add", 1, kAny},
    {Delete, "d", "delete", 1, kAny},
    {Comment, "c", "comment", 0, 1},
    {Sfx, "s", "sfx", 0, 0},
    {Repair, "r", "repair", 0, 1},
}};
static_assert(kCommands[static_cast<std::size_t>(Print)].Letter == "p");
static_assert(kCommands[static_cast<std::size_t>(Repair)].Name == "repair");

constexpr u16 Bit(TCommandKind c) {
  return static_cast<u16>(1u << static_cast<unsigned>(c));
}
constexpr u16 kEvery = 0x1FF;
constexpr u16 kReadsData = Bit(Test) | Bit(Extract) | Bit(Print);
constexpr u16 kReadsNames = kReadsData | Bit(List) | Bit(Delete) | Bit(Comment);
constexpr u16 kWrites = Bit(Add) | Bit(Delete) | Bit(Comment) | Bit(Sfx) | Bit(Repair);

enum class TOptionId : u8 {
  Quiet,
  Help,
  Sort,
  Comments,
  Dest,
  Paths,
  Root,
  Overwrite,
  Password,
  AskPassword,
  Recurse,
  Update,
  Freshen,
  Replace,
  Move,
  Span,
  FirstSpan,
  Temp,
  StdinName,
  SetText,
  TextFile,
  NameEncoding,
  NoWait,
  Encrypt,
  Jobs,
};

struct TOptionSpec {
  TOptionId Id;
  std::string_view Long;
  char Short;
  bool TakesValue;
  u16 Commands;
};

constexpr std::array<TOptionSpec, 25> kOptionSpecs{{
    {TOptionId::Quiet, "quiet", 'q', false, kEvery},
    {TOptionId::Help, "help", 'h', false, kEvery},
    {TOptionId::Sort, "sort", 0, true, Bit(List)},
    {TOptionId::Comments, "comments", 0, false, Bit(List)},
    {TOptionId::Dest, "dest", 'd', true, Bit(Extract)},
    {TOptionId::Paths, "paths", 0, true, Bit(Extract) | Bit(Add)},
    {TOptionId::Root, "root", 0, true, Bit(Extract) | Bit(Add)},
    {TOptionId::Overwrite, "overwrite", 'o', true, Bit(Extract) | Bit(Sfx) | Bit(Repair)},
    {TOptionId::Password, "password", 'p', true, kReadsData | Bit(Add)},
    {TOptionId::AskPassword, "ask-password", 'e', false, kReadsData | Bit(Add)},
    {TOptionId::Recurse, "recurse", 'r', false, Bit(Add)},
    {TOptionId::Update, "update", 0, false, Bit(Add)},
    {TOptionId::Freshen, "freshen", 0, false, Bit(Add)},
    {TOptionId::Replace, "replace", 0, false, Bit(Add)},
    {TOptionId::Move, "move", 0, false, Bit(Add)},
    {TOptionId::Span, "span", 0, true, Bit(Add)},
    {TOptionId::FirstSpan, "first-span", 0, true, Bit(Add)},
    {TOptionId::Temp, "temp", 0, true, Bit(Add)},
    {TOptionId::StdinName, "stdin", 0, true, Bit(Add)},
    {TOptionId::SetText, "set", 0, true, Bit(Comment)},
    {TOptionId::TextFile, "file", 0, true, Bit(Comment)},
    {TOptionId::NameEncoding, "charset", 'O', true, kReadsNames},
    {TOptionId::NoWait, "no-wait", 0, false, kWrites},
    {TOptionId::Encrypt, "encrypt", 0, true, Bit(Add)},
    {TOptionId::Jobs, "jobs", 'j', true, Bit(Add)},
}};

constexpr std::array<std::pair<std::string_view, TZipEncryption>, 3> kEncryptions{
    {{"traditional", TZipEncryption::Traditional},
     {"aes128", TZipEncryption::Aes128},
     {"aes256", TZipEncryption::Aes256}}};

constexpr std::array<std::pair<std::string_view, TZipSortMode>, 8> kSortKeys{{
    {"name", TZipSortMode::ByName},
    {"file", TZipSortMode::ByFileName},
    {"dir", TZipSortMode::ByDirectoryName},
    {"date", TZipSortMode::ByDate},
    {"csize", TZipSortMode::ByCompressedSize},
    {"size", TZipSortMode::ByUnCompressedSize},
    {"rate", TZipSortMode::ByRate},
    {"none", TZipSortMode::ByNone},
}};

constexpr std::array<std::pair<std::string_view, TPathMode>, 3> kExtractPaths{
    {{"none", TPathMode::None}, {"stored", TPathMode::Stored}, {"volume", TPathMode::Volume}}};

constexpr std::array<std::pair<std::string_view, TPathMode>, 4> kAddPaths{
    {{"none", TPathMode::None},
     {"full", TPathMode::Full},
     {"relative", TPathMode::Relative},
     {"volume", TPathMode::Volume}}};

constexpr std::array<std::pair<std::string_view, TUZOverwriteMode>, 3> kOverwriteModes{
    {{"always", TUZOverwriteMode::Always},
     {"never", TUZOverwriteMode::Never},
     {"prompt", TUZOverwriteMode::Prompt}}};

const TCommandInfo* FindCommand(std::string_view word) {
  for (const TCommandInfo& info : kCommands) {
    if (word == info.Letter || word == info.Name) return &info;
  }
  return nullptr;
}

class TParser {
 public:
  TParser(std::span<const std::string_view> args, const TCommandInfo& command)
      : FArgs(args), FInfo(command) {
    FRequest.Options.Command = command.Kind;
  }

  TRequest Run();

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw ECommandLine("vzip " + std::string(FInfo.Name) + ": " + message, FInfo.Kind);
  }
  const TOptionSpec& Spec(std::string_view longName, char shortName) const;
  void LongOption(std::string_view token, std::size_t& i);
  void ShortOptions(std::string_view token, std::size_t& i);
  std::string TakeValue(const TOptionSpec& spec, std::size_t& i);
  void Apply(const TOptionSpec& spec, const std::string& value);
  void ApplyValue(const TOptionSpec& spec, const std::string& value);
  // The table's value for `word`; a word not in it fails naming the choices.
  template <typename T, std::size_t N>
  T Choose(const std::array<std::pair<std::string_view, T>, N>& table, const std::string& option,
           std::string_view word) const {
    std::string choices;
    for (const auto& [name, value] : table) {
      if (name == word) return value;
      choices += (choices.empty() ? "" : ", ") + std::string(name);
    }
    Fail("unknown " + option + " value '" + std::string(word) + "' (" + choices + ")");
  }
  void SetAction(TZipAction action, std::string_view name);
  void Finish();

  std::span<const std::string_view> FArgs;
  const TCommandInfo& FInfo;
  TRequest FRequest;
  std::vector<std::string> FPositional;
  std::optional<std::string_view> FActionName;
};

TRequest TParser::Run() {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < FArgs.size(); ++i) {
    const std::string_view token = FArgs[i];
    if (optionsEnded || token == "-" || token.empty() || token[0] != '-') {
      FPositional.emplace_back(token);
    } else if (token == "--") {
      optionsEnded = true;
    } else if (token.starts_with("--")) {
      LongOption(token, i);
    } else {
      ShortOptions(token, i);
    }
    if (FRequest.Kind == TRequest::TKind::CommandHelp) return FRequest;
  }
  Finish();
  return FRequest;
}

const TOptionSpec& TParser::Spec(std::string_view longName, char shortName) const {
  for (const TOptionSpec& spec : kOptionSpecs) {
    const bool named =
        longName.empty() ? spec.Short == shortName && shortName != 0 : spec.Long == longName;
    if (!named) continue;
    if ((spec.Commands & Bit(FInfo.Kind)) == 0) break;
    return spec;
  }
  Fail("unknown option " +
       (longName.empty() ? "-" + std::string(1, shortName) : "--" + std::string(longName)) +
       " (see vzip " + std::string(FInfo.Name) + " --help)");
}

void TParser::LongOption(std::string_view token, std::size_t& i) {
  std::string_view name = token.substr(2);
  std::optional<std::string> inlineValue;
  if (const auto eq = name.find('='); eq != std::string_view::npos) {
    inlineValue = std::string(name.substr(eq + 1));
    name = name.substr(0, eq);
  }
  const TOptionSpec& spec = Spec(name, 0);
  if (!spec.TakesValue) {
    if (inlineValue) Fail("--" + std::string(name) + " takes no value");
    Apply(spec, {});
    return;
  }
  Apply(spec, inlineValue ? *inlineValue : TakeValue(spec, i));
}

void TParser::ShortOptions(std::string_view token, std::size_t& i) {
  for (std::size_t k = 1; k < token.size(); ++k) {
    const char c = token[k];
    if (c >= '0' && c <= '9' && FInfo.Kind == Add) {
      FRequest.Options.Level = c - '0';
      continue;
    }
    const TOptionSpec& spec = Spec({}, c);
    if (!spec.TakesValue) {
      Apply(spec, {});
      continue;
    }
    // The rest of the token is the value ("-dout"), else the next argument.
    const std::string_view rest = token.substr(k + 1);
    Apply(spec, rest.empty() ? TakeValue(spec, i) : std::string(rest));
    return;
  }
}

std::string TParser::TakeValue(const TOptionSpec& spec, std::size_t& i) {
  if (i + 1 >= FArgs.size()) {
    Fail((spec.Short != 0 ? "-" + std::string(1, spec.Short) + "/" : std::string()) + "--" +
         std::string(spec.Long) + " needs a value");
  }
  return std::string(FArgs[++i]);
}

void TParser::SetAction(TZipAction action, std::string_view name) {
  if (FActionName && *FActionName != name) {
    Fail("--" + std::string(*FActionName) + " and --" + std::string(name) +
         " cannot be used together");
  }
  FActionName = name;
  FRequest.Options.Action = action;
}

void TParser::Apply(const TOptionSpec& spec, const std::string& value) {
  TOptions& o = FRequest.Options;
  switch (spec.Id) {
    case TOptionId::Quiet:
      o.Quiet = true;
      return;
    case TOptionId::Help:
      FRequest.Kind = TRequest::TKind::CommandHelp;
      return;
    case TOptionId::Comments:
      o.Comments = true;
      return;
    case TOptionId::AskPassword:
      o.AskPassword = true;
      return;
    case TOptionId::Recurse:
      o.Recurse = true;
      return;
    case TOptionId::Move:
      o.Move = true;
      return;
    case TOptionId::NoWait:
      o.NoWait = true;
      return;
    case TOptionId::Update:
      SetAction(TZipAction::zaUpdate, "update");
      return;
    case TOptionId::Freshen:
      SetAction(TZipAction::zaFreshen, "freshen");
      return;
    case TOptionId::Replace:
      SetAction(TZipAction::zaReplace, "replace");
      return;
    case TOptionId::Dest:
      o.Dest = value;
      return;
    case TOptionId::Temp:
      o.Temp = value;
      return;
    case TOptionId::SetText:
      o.SetText = value;
      return;
    case TOptionId::TextFile:
      o.TextFile = value;
      return;
    default:
      ApplyValue(spec, value);
      return;
  }
}

void TParser::ApplyValue(const TOptionSpec& spec, const std::string& value) {
  TOptions& o = FRequest.Options;
  const std::string option = "--" + std::string(spec.Long);
  switch (spec.Id) {
    case TOptionId::Sort:
      o.Sort = Choose(kSortKeys, option, value);
      return;
    case TOptionId::Paths:
      o.Paths = FInfo.Kind == Add ? Choose(kAddPaths, option, value)
                                  : Choose(kExtractPaths, option, value);
      return;
    case TOptionId::Overwrite:
      o.Overwrite = Choose(kOverwriteModes, option, value);
      return;
    case TOptionId::Encrypt:
      o.Encryption = Choose(kEncryptions, option, value);
      o.EncryptionGiven = true;
      return;
    case TOptionId::Root:
      if (value.empty()) Fail("--root needs a folder");
      o.Root = value;
      return;
    case TOptionId::Password:
      if (value.empty()) Fail("the password given with -p is empty");
      o.Password = value;
      return;
    case TOptionId::Span:
      if (value == "disks") {
        o.Span = TSpanMode::Disks;
      } else if (const auto bytes = ParseSize(value)) {
        o.Span = TSpanMode::Blocks;
        o.SpanBytes = *bytes;
      } else {
        Fail("bad --span size '" + value + "' (a size such as 1440k, 100m or 1g, or 'disks')");
      }
      return;
    case TOptionId::StdinName:
      if (value.empty()) Fail("--stdin needs the member's name");
      o.StdinName = value;
      return;
    case TOptionId::FirstSpan:
      o.FirstSpanBytes = ParseSize(value);
      if (!o.FirstSpanBytes) Fail("bad --first-span size '" + value + "'");
      return;
    case TOptionId::Jobs: {
      constexpr int kMaxJobs = 256;
      int jobs = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
      if (error != std::errc() || end != value.data() + value.size() || jobs < 1 ||
          jobs > kMaxJobs) {
        Fail("bad -j value '" + value + "' (a number of threads from 1 to " +
             std::to_string(kMaxJobs) + ")");
      }
      o.Workers = jobs;
      return;
    }
    case TOptionId::NameEncoding:
      try {
        (void)TNameDecoder(value);
      } catch (const EVarnelError&) {
        Fail("-O: unknown character set '" + value + "' (any that iconv -l lists, e.g. CP866)");
      }
      o.NameEncoding = value;
      return;
    default:
      return;
  }
}

void TParser::Finish() {
  TOptions& o = FRequest.Options;
  if (FPositional.empty())
    Fail("no archive named (see vzip " + std::string(FInfo.Name) + " --help)");
  o.Archive = FPositional.front();
  o.Names.assign(FPositional.begin() + 1, FPositional.end());
  if (o.StdinName) {
    if (!o.Names.empty()) Fail("--stdin adds standard input alone; name no files with it");
    if (o.AskPassword) Fail("-e cannot be used with --stdin: standard input carries the data");
  } else if (o.Names.size() < FInfo.MinNames) {
    Fail(FInfo.Kind == Print ? "name the member to print"
         : FInfo.Kind == Add ? "name the files or folders to add"
                             : "name the members to delete");
  }
  if (o.Names.size() > FInfo.MaxNames)
    Fail("unexpected argument '" + o.Names[FInfo.MaxNames] + "'");
  if (o.Password && o.AskPassword) Fail("-p and -e cannot be used together");
  if (o.EncryptionGiven && !o.Password && !o.AskPassword) {
    Fail("--encrypt needs a password (-p or -e)");
  }
  if (o.SetText && o.TextFile) Fail("--set and --file cannot be used together");
  if (o.Paths == TPathMode::Volume && o.Dest && FInfo.Kind == Extract) {
    Fail("-d cannot be used with --paths volume: the stored folders say where each file goes");
  }
  constexpr i64 kMinSpan = 64 * 1024;
  if (o.Span == TSpanMode::Blocks &&
      (o.SpanBytes < kMinSpan || o.FirstSpanBytes.value_or(kMinSpan) < kMinSpan)) {
    Fail("a part must hold at least 64k");
  }
  if (o.FirstSpanBytes && o.Span != TSpanMode::Blocks) Fail("--first-span needs --span SIZE");
}

}  // namespace

std::string_view CommandLetter(TCommandKind command) {
  return kCommands[static_cast<std::size_t>(command)].Letter;
}

std::string_view CommandName(TCommandKind command) {
  return kCommands[static_cast<std::size_t>(command)].Name;
}

std::optional<i64> ParseSize(std::string_view text) {
  if (text.empty()) return std::nullopt;
  i64 unit = 1;
  switch (text.back()) {
    case 'k':
    case 'K':
      unit = i64{1} << 10;
      break;
    case 'm':
    case 'M':
      unit = i64{1} << 20;
      break;
    case 'g':
    case 'G':
      unit = i64{1} << 30;
      break;
    default:
      break;
  }
  if (unit != 1) text.remove_suffix(1);
  i64 value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  constexpr i64 kMax = 0x7FFFFFFF;
  if (value > kMax / unit) return std::nullopt;
  return value * unit;
}

TRequest ParseCommandLine(std::span<const std::string_view> args) {
  if (args.empty()) throw ECommandLine("vzip: no command given (see vzip --help)", std::nullopt);
  const std::string_view first = args.front();
  TRequest request;
  if (first == "--help" || first == "-h") {
    request.Kind = TRequest::TKind::ToolHelp;
    return request;
  }
  if (first == "--version" || first == "-V") {
    request.Kind = TRequest::TKind::Version;
    return request;
  }
  if (first == "help") {
    if (args.size() == 1) {
      request.Kind = TRequest::TKind::ToolHelp;
      return request;
    }
    const TCommandInfo* info = FindCommand(args[1]);
    if (info == nullptr) {
      throw ECommandLine("vzip: unknown command '" + std::string(args[1]) + "' (see vzip --help)",
                         std::nullopt);
    }
    request.Kind = TRequest::TKind::CommandHelp;
    request.Options.Command = info->Kind;
    return request;
  }
  const TCommandInfo* info = FindCommand(first);
  if (info == nullptr) {
    throw ECommandLine("vzip: unknown command '" + std::string(first) + "' (see vzip --help)",
                       std::nullopt);
  }
  return TParser(args.subspan(1), *info).Run();
}

}  // namespace vz::cli
