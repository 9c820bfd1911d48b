#include "server/FbApi.h"

#include <cstdlib>

namespace fb {

namespace {
// Days from 1858-11-17 (Firebird's day 0) to 1899-12-30 (the system's day 0).
constexpr long long kDayOffset = 15018;
constexpr long long kMillisPerDay = 86'400'000;

// The codes of a status vector that leave the attachment unusable.
bool isConnectionLostCode(ISC_STATUS aCode) {
  switch (aCode) {
  case isc_network_error:
  case isc_net_read_err:
  case isc_net_write_err:
  case isc_lost_db_connection:
  case isc_conn_lost:
  case isc_att_shutdown:
  case isc_shutdown:
  case isc_shutinprog:
    return true;
  default:
    return false;
  }
}

// Whether any error code of the vector says the connection is lost.
bool connectionLost(const ISC_STATUS* aErrors) {
  for (const ISC_STATUS* item = aErrors; *item != isc_arg_end;) {
    const ISC_STATUS kind = item[0];
    if (kind == isc_arg_gds && isConnectionLostCode(item[1])) {
      return true;
    }
    // isc_arg_cstring carries a length and a pointer; every other kind one value.
    item += kind == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

long long floorDiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) {
    --q;
  }
  return q;
}
} // namespace

Firebird::IMaster* master() {
  static Firebird::IMaster* instance = Firebird::fb_get_master_interface();
  return instance;
}

Firebird::IUtil* util() {
  static Firebird::IUtil* instance = master()->getUtilInterface();
  return instance;
}

TStatus::TStatus() : fStatus(master()->getStatus()), fWrapper(fStatus) {}

TStatus::~TStatus() {
  fStatus->dispose();
}

bool TStatus::failed() const {
  return (fStatus->getState() & Firebird::IStatus::STATE_ERRORS) != 0;
}

void TStatus::throwIfFailed() {
  if (!failed()) {
    return;
  }
  char buffer[2048];
  const unsigned length = util()->formatStatus(buffer, sizeof(buffer) - 1, fStatus);
  std::string message(buffer, length < sizeof(buffer) ? length : sizeof(buffer) - 1);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\0')) {
    message.pop_back();
  }
  const ISC_STATUS* errors = fStatus->getErrors();
  const long gdsCode = (errors[0] == isc_arg_gds) ? static_cast<long>(errors[1]) : 0;
  const int sqlCode = static_cast<int>(isc_sqlcode(errors));
  const bool lost = connectionLost(errors);
  fWrapper.clearException();
  throw EFbError(message, sqlCode, gdsCode, lost);
}

ISC_TIMESTAMP toTimestamp(long long aMillisSince1899) {
  const long long day = floorDiv(aMillisSince1899, kMillisPerDay);
  const long long millis = aMillisSince1899 - day * kMillisPerDay;
  ISC_TIMESTAMP result;
  result.timestamp_date = static_cast<ISC_DATE>(day + kDayOffset);
  result.timestamp_time = static_cast<ISC_TIME>(millis * 10);
  return result;
}

long long fromTimestamp(const ISC_TIMESTAMP& aTimestamp) {
  const long long day = static_cast<long long>(aTimestamp.timestamp_date) - kDayOffset;
  return day * kMillisPerDay + static_cast<long long>(aTimestamp.timestamp_time) / 10;
}

} // namespace fb

#if defined(__SANITIZE_ADDRESS__)
#define PARLINO_FB_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PARLINO_FB_LEAK_CHECKED 1
#endif
#endif
#ifdef PARLINO_FB_LEAK_CHECKED
// The client library keeps its character-set converters, ICU data and authentication
// numbers for the life of the process; the leak checker is told so, and checks ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfbclient.so\n"
         "leak:libicuuc.so\n"
         "leak:libicui18n.so\n"
         "leak:libtommath.so\n"
         "leak:__gconv_open\n";
}
#endif
