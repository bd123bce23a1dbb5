#include "notes/ErrorTables.h"

#include <algorithm>
#include <iterator>

namespace orvane::notes {
namespace {

struct Entry {
  int code;
  const char* name;
};

// Mobile equipment errors: general errors, then the packet-domain causes (the network's
// cause in parentheses), then the group-call errors.
constexpr Entry kCmeErrors[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed - emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {48, "hidden key required"},
    {49, "EAP method not supported"},
    {50, "incorrect parameters"},
    {51, "command implemented but currently disabled"},
    {52, "command aborted by user"},
    {53, "not attached to network due to MT functionality restrictions"},
    {54, "modem not allowed - MT restricted to emergency calls only"},
    {55, "operation not allowed because of MT functionality restrictions"},
    {56, "fixed dial number only allowed - called number is not a fixed dial number"},
    {57, "temporarily out of service due to other MT usage"},
    {58, "language/alphabet not supported"},
    {59, "unexpected data value"},
    {60, "system failure"},
    {61, "data missing"},
    {62, "call barred"},
    {63, "message waiting indication subscription failure"},
    {100, "unknown"},
    {103, "illegal MS (#3)"},
    {106, "illegal ME (#6)"},
    {107, "GPRS services not allowed (#7)"},
    {108, "GPRS services and non-GPRS services not allowed (#8)"},
    {111, "PLMN not allowed (#11)"},
    {112, "location area not allowed (#12)"},
    {113, "roaming not allowed in this location area (#13)"},
    {114, "GPRS services not allowed in this PLMN (#14)"},
    {115, "no suitable cells in location area (#15)"},
    {122, "congestion (#22)"},
    {125, "not authorized for this CSG (#25)"},
    {126, "insufficient resources (#26)"},
    {127, "missing or unknown APN (#27)"},
    {128, "unknown PDP address or PDP type (#28)"},
    {129, "user authentication failed (#29)"},
    {130, "activation rejected by GGSN, Serving GW or PDN GW (#30)"},
    {131, "activation rejected, unspecified (#31)"},
    {132, "service option not supported (#32)"},
    {133, "requested service option not subscribed (#33)"},
    {134, "service option temporarily out of order (#34)"},
    {140, "feature not supported (#40)"},
    {141, "semantic error in the TFT operation (#41)"},
    {142, "syntactical error in the TFT operation (#42)"},
    {143, "unknown PDP context (#43)"},
    {144, "semantic errors in packet filter(s) (#44)"},
    {145, "syntactical errors in packet filter(s) (#45)"},
    {146, "PDP context without TFT already activated (#46)"},
    {148, "unspecified GPRS error"},
    {149, "PDP authentication failure"},
    {150, "invalid mobile class"},
    {151, "VBS/VGCS not supported by the network"},
    {152, "no service subscription on SIM"},
    {153, "no subscription for group ID"},
    {154, "group ID not activated on SIM"},
    {155, "no matching notification"},
    {156, "VBS/VGCS call already present"},
    {157, "congestion"},
    {158, "network failure"},
    {159, "uplink busy"},
    {160, "no access rights for SIM file"},
    {161, "no subscription for priority"},
    {162, "operation not applicable or not possible"},
    {163, "group ID prefixes not supported"},
    {164, "group ID prefixes not usable for VBS"},
    {165, "group ID prefix value invalid"},
    {171, "last PDN disconnection not allowed (#49)"},
    {172, "semantically incorrect message (#95)"},
    {173, "mandatory information element error (#96)"},
    {174, "information element non-existent or not implemented (#97)"},
    {175, "conditional IE error (#99)"},
    {176, "protocol error, unspecified (#111)"},
    {177, "operator determined barring (#8)"},
    {178, "maximum number of PDP contexts reached (#65)"},
    {179, "requested APN not supported in current RAT and PLMN combination (#66)"},
    {180, "request rejected, bearer control mode violation (#48)"},
    {181, "unsupported QCI value (#83)"},
};

// Message service errors of the terminal, and the service centre's failure causes.
constexpr Entry kCmsErrors[] = {
    {128, "telematic interworking not supported"},
    {129, "short message type 0 not supported"},
    {130, "cannot replace short message"},
    {143, "unspecified TP-PID error"},
    {144, "data coding scheme (alphabet) not supported"},
    {145, "message class not supported"},
    {159, "unspecified TP-DCS error"},
    {160, "command cannot be actioned"},
    {161, "command unsupported"},
    {175, "unspecified TP-Command error"},
    {176, "TPDU not supported"},
    {192, "SC busy"},
    {193, "no SC subscription"},
    {194, "SC system failure"},
    {195, "invalid SME address"},
    {196, "destination SME barred"},
    {197, "SM rejected - duplicate SM"},
    {198, "TP-VPF not supported"},
    {199, "TP-VP not supported"},
    {208, "(U)SIM SMS storage full"},
    {209, "no SMS storage capability in (U)SIM"},
    {210, "error in MS"},
    {211, "memory capacity exceeded"},
    {212, "(U)SIM Application Toolkit busy"},
    {213, "(U)SIM data download error"},
    {255, "unspecified error cause"},
    {300, "ME failure"},
    {301, "SMS service of ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode parameter"},
    {305, "invalid text mode parameter"},
    {310, "(U)SIM not inserted"},
    {311, "(U)SIM PIN required"},
    {312, "PH-(U)SIM PIN required"},
    {313, "(U)SIM failure"},
    {314, "(U)SIM busy"},
    {315, "(U)SIM wrong"},
    {316, "(U)SIM PUK required"},
    {317, "(U)SIM PIN2 required"},
    {318, "(U)SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network service"},
    {332, "network timeout"},
    {340, "no +CNMA acknowledgement expected"},
    {500, "unknown error"},
};

// The network's causes for a failed message transfer (relayed as +CMS ERROR 0-127).
constexpr Entry kRelayCauses[] = {
    {1, "unassigned (unallocated) number"},
    {8, "operator determined barring"},
    {10, "call barred"},
    {17, "network failure"},
    {21, "short message transfer rejected"},
    {22, "memory capacity exceeded"},
    {27, "destination out of order"},
    {28, "unidentified subscriber"},
    {29, "facility rejected"},
    {30, "unknown subscriber"},
    {38, "network out of order"},
    {41, "temporary failure"},
    {42, "congestion"},
    {47, "resources unavailable, unspecified"},
    {50, "requested facility not subscribed"},
    {69, "requested facility not implemented"},
    {81, "invalid short message transfer reference value"},
    {95, "semantically incorrect message"},
    {96, "invalid mandatory information"},
    {97, "message type non-existent or not implemented"},
    {98, "message not compatible with short message protocol state"},
    {99, "information element non-existent or not implemented"},
    {111, "protocol error, unspecified"},
    {127, "interworking, unspecified"},
};

constexpr Entry kDeliveryStatus[] = {
    {0x00, "received by the recipient"},
    {0x01, "forwarded to the recipient, delivery not confirmed"},
    {0x02, "replaced by the service centre"},
    {0x20, "still trying: congestion"},
    {0x21, "still trying: recipient busy"},
    {0x22, "still trying: no response from recipient"},
    {0x23, "still trying: service rejected"},
    {0x24, "still trying: quality of service not available"},
    {0x25, "still trying: error in recipient"},
    {0x40, "failed: remote procedure error"},
    {0x41, "failed: incompatible destination"},
    {0x42, "failed: connection rejected by recipient"},
    {0x43, "failed: not obtainable"},
    {0x44, "failed: quality of service not available"},
    {0x45, "failed: no interworking available"},
    {0x46, "failed: validity period expired"},
    {0x47, "failed: deleted by the sender"},
    {0x48, "failed: deleted by the service centre"},
    {0x49, "failed: message does not exist"},
    {0x60, "stopped trying: congestion"},
    {0x61, "stopped trying: recipient busy"},
    {0x62, "stopped trying: no response from recipient"},
    {0x63, "stopped trying: service rejected"},
    {0x64, "stopped trying: quality of service not available"},
    {0x65, "stopped trying: error in recipient"},
};

constexpr const char* kRegistration[] = {
    "not registered, not searching",
    "registered, home network",
    "not registered, searching",
    "registration denied",
    "unknown",
    "registered, roaming",
    "registered for SMS only, home network",
    "registered for SMS only, roaming",
    "attached for emergency bearer services only",
    "registered for CSFB not preferred, home network",
    "registered for CSFB not preferred, roaming",
    "attached for access to RLOS",
};

template <size_t N>
const char* Find(const Entry (&table)[N], long code) {
  const auto it = std::lower_bound(std::begin(table), std::end(table), code,
                                   [](const Entry& e, long c) { return e.code < c; });
  return it != std::end(table) && it->code == code ? it->name : nullptr;
}

}  // namespace

std::string CmeErrorName(long code) {
  if (const char* name = Find(kCmeErrors, code)) return name;
  if (code >= 256) return "manufacturer-specific";
  return "reserved";
}

std::string CmsErrorName(long code) {
  if (code >= 0 && code <= 127) {
    const char* name = Find(kRelayCauses, code);
    return std::string("network cause: ") + (name ? name : "unspecified");
  }
  if (const char* name = Find(kCmsErrors, code)) return name;
  if (code >= 224 && code <= 254) return "application-specific cause";
  if (code >= 512) return "manufacturer-specific";
  return "reserved";
}

std::string DeliveryStatusName(int status) {
  if (const char* name = Find(kDeliveryStatus, status)) return name;
  if (status < 0x20) return "delivered (reserved status)";
  if (status < 0x40) return "still trying (reserved status)";
  if (status < 0x60) return "failed (reserved status)";
  if (status < 0x80) return "stopped trying (reserved status)";
  return "reserved status";
}

std::string RegistrationStatusName(long status) {
  if (status >= 0 && status < static_cast<long>(std::size(kRegistration)))
    return kRegistration[status];
  return "unknown status";
}

}  // namespace orvane::notes
