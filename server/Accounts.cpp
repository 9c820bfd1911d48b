#include "server/Accounts.h"

#include "common/SystemTools.h"
#include "common/TextEncoding.h"
#include "server/HTTPParams.h"

#include <openssl/evp.h>

#include <memory>

std::string encodeMD5(const std::string& aPassword) {
  const std::string bytes = utf8ToCp1252(aPassword);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    return {}; // matches no stored digest
  }
  static const char* const kHex = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

bool accountAllows(int aType, TKVSMSSAction aAction) {
  const int bit = 1 << static_cast<int>(aAction);
  return (aType & bit) == bit;
}

bool readAccountActive(const std::string& aActive) {
  return readBooleanParam(aActive, false);
}

bool notExpired(const std::optional<TDateTime>& aExpiration) {
  return !aExpiration || NowLocal() <= *aExpiration;
}
