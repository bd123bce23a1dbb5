#include "engine/service/PortProtocol.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/LineSettings.h"
#include "engine/NetworkLine.h"

namespace orvane::service {
namespace {

constexpr char kFolder[] = "orvane-port-linewright";

bool Plain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_' || c == '.';
}

struct EndName {
  ReplyEnd end;
  const char* name;
};
constexpr EndName kEnds[] = {{ReplyEnd::kNone, ""},
                             {ReplyEnd::kToken, "token"},
                             {ReplyEnd::kSilence, "silence"},
                             {ReplyEnd::kHangup, "hangup"},
                             {ReplyEnd::kStopped, "stopped"},
                             {ReplyEnd::kLimit, "limit"},
                             {ReplyEnd::kWriteFailed, "write failed"},
                             {ReplyEnd::kCommand, "command"},
                             {ReplyEnd::kClosed, "closed"}};

std::u16string Text16(const std::string& utf8) { return Utf8ToUtf16(utf8); }

}  // namespace

std::string SocketDirectory(std::string* reason) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || runtime[0] != '/') {
    if (reason) *reason = "XDG_RUNTIME_DIR is not set to an absolute path";
    return {};
  }
  std::string dir = runtime;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir + "/" + kFolder;
}

std::string CanonicalPortName(std::string_view name) {
  if (IsNetworkName(name) || name.empty() || name.front() != '/') return std::string(name);
  char* resolved = ::realpath(std::string(name).c_str(), nullptr);
  if (!resolved) return std::string(name);
  std::string result = resolved;
  std::free(resolved);
  return result;
}

std::string EscapePortName(std::string_view name) {
  std::string_view rest = name;
  const bool path = !rest.empty() && rest.front() == '/';
  if (path) {
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (rest.empty()) return "-";
  }
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(rest[i]);
    if (c == '/') {
      out.push_back('-');
    } else if (Plain(c) && !(i == 0 && c == '.')) {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
      out += buffer;
    }
  }
  return out;
}

std::string SocketPathFor(std::string_view name) {
  const std::string dir = SocketDirectory();
  if (dir.empty()) return {};
  std::string file = EscapePortName(CanonicalPortName(name));
  const size_t room = sizeof(sockaddr_un::sun_path) - 1 - dir.size() - 1 - 5;  // "/", ".sock"
  if (dir.size() + 24 >= sizeof(sockaddr_un::sun_path)) return {};
  if (file.size() > room) {
    // FNV-1a of the whole name keeps two long names apart.
    uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : file) hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    file = file.substr(0, room - std::strlen(tail)) + tail;
  }
  return dir + "/" + file + ".sock";
}

int PrepareSocketDirectory(const std::string& directory, std::string* reason) {
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    const int error = errno;
    *reason = "cannot make " + directory + ": " + std::strerror(error);
    return error;
  }
  struct stat st {};
  if (::lstat(directory.c_str(), &st) != 0) {
    const int error = errno;
    *reason = directory + ": " + std::strerror(error);
    return error;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    *reason = directory + " is not a folder of this user's";
    return EPERM;
  }
  if ((st.st_mode & 077) != 0 && ::chmod(directory.c_str(), 0700) != 0) {
    const int error = errno;
    *reason = directory + " may be entered by others and cannot be closed to them: " + std::strerror(error);
    return error;
  }
  return 0;
}

long PeerUid(int fd) {
  ucred cred{};
  socklen_t length = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return -1;
  return static_cast<long>(cred.uid);
}

int ConnectToService(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  // Only a service of this user's is trusted with the port's traffic.
  if (PeerUid(fd) != static_cast<long>(::getuid())) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

std::string BytesText(const uint8_t* bytes, size_t length) {
  std::string out;
  AppendBinaryTextUtf8(bytes, length, &out);
  return out;
}

Bytes TextBytes(std::string_view text) { return DecodeBinaryText(Utf8ToUtf16(text)); }

const char* RowKindName(RowKind kind) { return kind == RowKind::kExchange ? "exchange" : "unsolicited"; }

void AddRowMembers(JsonWriter& json, const Row& row, bool withReply) {
  json.Add("kind", RowKindName(row.kind))
      .Add("command", Utf16ToUtf8(row.typed))
      .Add("sent", Utf16ToUtf8(row.sent))
      .Add("sent_at_ms", row.sentAtMs);
  if (row.firstByteMs < 0)
    json.AddNull("first_byte_ms");
  else
    json.Add("first_byte_ms", row.firstByteMs);
  json.Add("elapsed_ms", row.elapsedMs)
      .Add("end", ReplyEndName(row.end))
      .Add("error", row.error)
      .Add("reply_length", static_cast<uint64_t>(row.replyLength));
  if (withReply) json.Add("reply", BytesText(row.reply.data(), row.reply.size()));
}

bool ReadRow(const JsonObject& json, Row* row) {
  std::string kind, typed, sent, end, reply;
  int64_t sentAt = 0, firstByte = -1, elapsed = 0, error = 0, length = -1;
  if (!json.Text("kind", &kind, "exchange") || !json.Text("command", &typed) || !json.Text("sent", &sent) ||
      !json.Text("end", &end) || !json.Text("reply", &reply) || !json.Number("sent_at_ms", &sentAt, 0) ||
      !json.Number("first_byte_ms", &firstByte, -1) || !json.Number("elapsed_ms", &elapsed, 0) ||
      !json.Number("error", &error, 0) || !json.Number("reply_length", &length, -1))
    return false;
  if (kind != "exchange" && kind != "unsolicited") return false;
  const EndName* found = nullptr;
  for (const EndName& e : kEnds)
    if (end == e.name) found = &e;
  if (!found || elapsed < 0 || elapsed > UINT32_MAX) return false;
  row->kind = kind == "exchange" ? RowKind::kExchange : RowKind::kUnsolicited;
  row->typed = Text16(typed);
  row->sent = Text16(sent);
  row->sentAtMs = sentAt;
  row->firstByteMs = firstByte;
  row->elapsedMs = static_cast<uint32_t>(elapsed);
  row->end = found->end;
  row->error = static_cast<int>(error);
  if (json.Find("reply")) row->reply = TextBytes(reply);
  row->replyLength = length >= 0 ? static_cast<size_t>(length) : row->reply.size();
  return true;
}

void AddFramingMembers(JsonWriter& json, const Framing& framing) {
  std::vector<std::string> tokens;
  for (const auto& token : framing.tokens) tokens.push_back(Utf16ToUtf8(token));
  json.Add("prefix", Utf16ToUtf8(framing.prefix))
      .Add("suffix", Utf16ToUtf8(framing.suffix))
      .Add("timeout_ms", framing.timeoutMs)
      .Add("tokens", tokens);
}

bool ReadFraming(const JsonObject& json, Framing* framing, std::string* error) {
  std::string prefix, suffix;
  std::vector<std::string> tokens;
  int64_t timeout = kDefaultResponseTimeoutMs;
  if (!json.Text("prefix", &prefix) || !json.Text("suffix", &suffix) || !json.Strings("tokens", &tokens)) {
    *error = "prefix and suffix are strings, tokens an array of strings";
    return false;
  }
  if (!json.Number("timeout_ms", &timeout, kDefaultResponseTimeoutMs) || timeout < 0 || timeout > UINT32_MAX) {
    *error = "timeout_ms is a whole number of milliseconds, 0 to 4294967295";
    return false;
  }
  framing->prefix = Text16(prefix);
  framing->suffix = Text16(suffix);
  framing->timeoutMs = static_cast<uint32_t>(timeout);
  framing->tokens.clear();
  for (const auto& token : tokens) framing->tokens.push_back(Text16(token));
  return true;
}

}  // namespace orvane::service
