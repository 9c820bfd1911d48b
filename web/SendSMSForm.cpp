#include "web/SendSMSForm.h"

#include "common/LanguageTools.h"
#include "common/SystemTools.h"
#include "common/TextEncoding.h"
#include "modem/VTSMSManagerSerialModem.h"
#include "server/ServerController.h"
#include "web/Navigation.h"
#include "webframework/WebSession.h"

std::string buildSMSMessageText(const std::vector<std::string>& aLines) {
  std::string text;
  for (const std::string& line : aLines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

namespace {

// The local date and time in German short date and long time.
std::string nowText() {
  TFormatSettings german;
  initGermanFormatSettings(german);
  return formatDateTime(german.ShortDateFormat + " " + german.LongTimeFormat, NowLocal(), german);
}

} // namespace

TSendSMSForm::TSendSMSForm(TWebSession& aSession) : TAdminForm(aSession, "SendSMSForm") {
  Title = "SMS senden";
  btnClose = &addTopBarWithClose([this] { btnCloseClick(); });

  auto& main = add<TWebRegion>("rgnMain");
  lblTopFormInfo = &addHeading(main, "Senden von SMS");
  auto& panel = add<TWebRegion>("rgnSendSMS", &main);
  panel.CssClass = "panel sendpanel";
  auto& receiverRow = add<TWebRegion>("rgnSMSReceiver", &panel);
  receiverRow.CssClass = "formrow";
  add<TWebLabel>("lblSMSReceiver", &receiverRow).Caption = "Empfänger:";
  edtSMSReceiver = &add<TWebEdit>("edtSMSReceiver", &receiverRow);
  auto& messageRow = add<TWebRegion>("rgnSMSMessage", &panel);
  messageRow.CssClass = "formrow toprow";
  add<TWebLabel>("lblSMSMessage", &messageRow).Caption = "Nachrichtentext:";
  mmoSMSMessage = &add<TWebMemo>("mmoSMSMessage", &messageRow);
  mmoSMSMessage->Rows = 8;
  mmoSMSMessage->Columns = 50;
  mmoSMSMessage->VerticalScrollBar = true;
  auto& sendRow = add<TWebRegion>("rgnSendButton", &panel);
  sendRow.CssClass = "buttonrow";
  btnSendSMS = &add<TWebImageButton>("btnSendSMS", &sendRow);
  btnSendSMS->ImageFile = "sendsms.png";
  btnSendSMS->Hint = "SMS jetzt senden";
  btnSendSMS->AltText = "SMS jetzt senden";
  btnSendSMS->OnClick = [this] { btnSendSMSClick(); };
  add<TWebLabel>("lblSendSMSButton", &sendRow).Caption = "SMS jetzt senden";
  lblOutput = &add<TWebLabel>("lblOutput", &panel);
  lblOutput->CssClass = "sendoutput";

  auto& footer = add<TWebRegion>("rgnFooter");
  add<TWebLabel>("lblIcons", &footer).Caption = "Verwendete Icons von: ";
  addIconsLink(&footer);
}

void TSendSMSForm::btnSendSMSClick() {
  if (edtSMSReceiver->Text.empty()) {
    getSession().showMessage("Bitte geben Sie einen Empfänger an.");
    return;
  }
  const std::string text = buildSMSMessageText(mmoSMSMessage->Lines);
  const std::size_t length = utf16Length(text);
  if (length > IC_SENDPAGE_MAXLENGTH) {
    getSession().showMessage("Eine SMS darf nur 160 Zeichen lang sein. Diese ist jedoch " +
                             std::to_string(length) +
                             " Zeichen lang und kann deshalb nicht gesendet werden.");
    return;
  }
  const int result = IWServerController().serialModem().sendSMSText(edtSMSReceiver->Text, text);
  lblOutput->Caption = nowText() + (result == 0 ? "| SMS wurde erfolgreich gesendet."
                                                : "| SMS konnte nicht gesendet werden.");
  lblOutput->Font.Color = result == 0 ? "green" : "red";
}

void TSendSMSForm::btnCloseClick() {
  showIWForm(*this, "TMainForm");
}
