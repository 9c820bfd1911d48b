#pragma once

#include "web/AdminForm.h"

#include <string>
#include <vector>

// The text an SMS of the send page carries: every line of the memo, the last one included,
// followed by CR LF; no lines give the empty text.
std::string buildSMSMessageText(const std::vector<std::string>& aLines);

// The longest text the send page sends, in UTF-16 code units.
inline constexpr std::size_t IC_SENDPAGE_MAXLENGTH = 160;

// The send page ("SMS senden"): a recipient and a text, sent as one text SMS through the
// core's modem driver at once, without an account or send patterns. The driver reports the
// sent SMS to the core, which stores it like every sent one. The outcome line starts with the
// local date and time ("11.12.2026 14:03:07| SMS wurde erfolgreich gesendet.").
// Threads: the requests of its session; the send blocks the request until the driver's
// dialogue with the modem has ended (the driver serialises it).
class TSendSMSForm : public TAdminForm {
public:
  explicit TSendSMSForm(TWebSession& aSession);

  void btnSendSMSClick();
  void btnCloseClick();

  TWebImageButton* btnClose;
  TWebLabel* lblTopFormInfo;
  TWebEdit* edtSMSReceiver;
  TWebMemo* mmoSMSMessage;
  TWebImageButton* btnSendSMS;
  TWebLabel* lblOutput;
};
