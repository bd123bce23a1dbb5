// What a port service and its clients share: where the service of a port listens, and
// how rows and framings travel as JSON lines.
//
// A port is served on a Unix socket in $XDG_RUNTIME_DIR/orvane-port-linewright/ (the
// folder mode 0700, the socket 0600), named after the port: a local device by the
// device it leads to (so a /dev/serial/by-id link and its node name one service), a
// URL as written; '/' becomes '-' and other bytes outside [A-Za-z0-9:_.] are written
// \xNN, as systemd-escape does, so the name is also the instance of the systemd unit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Exchange.h"
#include "engine/Row.h"
#include "engine/service/JsonLine.h"

namespace orvane::service {

inline constexpr int kProtocolVersion = 1;

// The folder of the sockets; empty (with the reason in |reason|) when XDG_RUNTIME_DIR is
// not set or not an absolute path.
std::string SocketDirectory(std::string* reason = nullptr);
// The name a port is known by: a local path that exists resolved to the device it leads
// to; anything else as given.
std::string CanonicalPortName(std::string_view name);
// systemd-escape's escaping of |name| (with --path for an absolute path).
std::string EscapePortName(std::string_view name);
// The socket of port |name| (empty when there is no socket folder). A long name is cut
// and ends in a hash of the whole, so it fits a socket address.
std::string SocketPathFor(std::string_view name);

// Makes the socket folder (mode 0700) when missing; refuses one that is not a folder of
// this user's or that others may enter. 0, or an errno value with |reason|.
int PrepareSocketDirectory(const std::string& directory, std::string* reason);

// Connects to the service listening on |path|, non-blocking from then on. The descriptor,
// or -1 with the errno (ECONNREFUSED for a socket nobody listens on, EPERM for a
// service run by another user).
int ConnectToService(const std::string& path);

// The user id at the other end of a connected Unix socket; -1 when it cannot be told.
long PeerUid(int fd);

// Row members: kind, command, sent, sent_at_ms, first_byte_ms, elapsed_ms, end, error,
// reply_length and, when |withReply|, reply (all texts binary text).
void AddRowMembers(JsonWriter& json, const Row& row, bool withReply);
// The row of an event; false when a member has the wrong type or end is unknown.
bool ReadRow(const JsonObject& json, Row* row);
// "exchange" / "unsolicited".
const char* RowKindName(RowKind kind);

// Framing members of a send: prefix, suffix, timeout_ms, tokens.
void AddFramingMembers(JsonWriter& json, const Framing& framing);
bool ReadFraming(const JsonObject& json, Framing* framing, std::string* error);

// |bytes| as binary text (UTF-8) and back.
std::string BytesText(const uint8_t* bytes, size_t length);
Bytes TextBytes(std::string_view text);

}  // namespace orvane::service
