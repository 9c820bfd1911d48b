#include "common/AttributedDocument.h"

#include "common/AttributeFactory.h"
#include "common/TextEncoding.h"
#include "common/UniCodeTools.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>

namespace {

constexpr char kStreamTag[] = {'a', 0, 't', 0, 't', 0, 'd', 0, 'o', 0, 'c', 0};
constexpr std::size_t kStreamTagSize = sizeof kStreamTag;
// Texts are read from a stream in pieces of this many code units, so that a count that the
// stream cannot back is found out before much memory is taken.
constexpr std::size_t kStreamReadPiece = 64 * 1024;

std::string quoted(const std::string& aText) {
  return "\"" + aText + "\"";
}

// Letters of ASCII and Latin-1 compare without regard to case. Works on the UTF-8 bytes: a
// Latin-1 letter is 0xC3 followed by 0x80..0x9E (upper case) or 0xA0..0xBE (lower case).
unsigned char foldByte(unsigned char aPrevious, unsigned char c) {
  if (c >= 'A' && c <= 'Z') {
    return static_cast<unsigned char>(c + 0x20);
  }
  if (aPrevious == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97) {
    return static_cast<unsigned char>(c + 0x20);
  }
  return c;
}

bool sameID(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) {
    return false; // folding keeps the length of every letter it folds
  }
  unsigned char previous = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca != cb && foldByte(previous, ca) != foldByte(previous, cb)) {
      return false;
    }
    previous = ca; // equal to cb, or both fold alike and so are no lead byte
  }
  return true;
}

std::string parseFailure(const std::string& aDetail) {
  return "Fehler beim Parsen eines Attributes: " + aDetail;
}

std::string existsAlready(const std::string& aID, int aLine) {
  return "Attribut " + quoted(aID) + " in Zeile " + std::to_string(aLine) + " existiert bereits";
}

// Lines at CR LF, CR or LF; a final line break makes no extra line.
std::vector<std::string> splitLines(const std::string& aText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < aText.size()) {
    const char c = aText[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(aText.substr(start, i - start));
      i += (c == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < aText.size()) {
    lines.push_back(aText.substr(start));
  }
  return lines;
}

// Fields at every ";"; a final ";" makes no extra empty field.
std::vector<std::string> splitFields(const std::string& aLine) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < aLine.size()) {
    const std::size_t end = aLine.find(';', start);
    if (end == std::string::npos) {
      fields.push_back(aLine.substr(start));
      break;
    }
    fields.push_back(aLine.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

bool readBytes(std::istream& aStream, char* aBuffer, std::size_t aSize) {
  aStream.read(aBuffer, static_cast<std::streamsize>(aSize));
  return static_cast<std::size_t>(aStream.gcount()) == aSize;
}

} // namespace

TAttributedDocument::TAttributedDocument() = default;

TAttributedDocument::TAttributedDocument(const TAttributedDocument& aSource) {
  setContent(aSource.getContent());
}

TAttributedDocument& TAttributedDocument::operator=(const TAttributedDocument& aSource) {
  if (this != &aSource) {
    setContent(aSource.getContent());
  }
  return *this;
}

TAttributedDocument::~TAttributedDocument() {
  clear();
}

std::string TAttributedDocument::getContent() const {
  std::string text;
  for (const auto& attribute : fAttributes) {
    text += attribute->getContent();
    text += "\r\n";
  }
  return text;
}

void TAttributedDocument::setContent(const std::string& aText) {
  clear();
  const std::vector<std::string> lines = splitLines(aText);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i);
    std::unique_ptr<TAbstractAttribute> attribute = parseAttribute(lines[i]);
    if (!attribute) {
      if (fReportInvalidAttributes) {
        throw EAttributedDocument("Ungültiges Attribut in Zeile " + std::to_string(line));
      }
      continue;
    }
    if (existsAttributeID(attribute->getAttributeID())) {
      throw EAttributedDocument(existsAlready(attribute->getAttributeID(), line));
    }
    fAttributes.push_back(std::move(attribute));
  }
}

std::unique_ptr<TAbstractAttribute>
TAttributedDocument::getAttributeInstanceByTypeName(const std::string& aTypeName) const {
  return DefaultAttributeFactory().getInstance(aTypeName);
}

std::unique_ptr<TAbstractAttribute>
TAttributedDocument::parseAttribute(const std::string& aAttributeText) const {
  const std::vector<std::string> fields = splitFields(aAttributeText);
  if (fields.size() < 2) {
    throw EAttributedDocument(parseFailure("Ungültige Anzahl Textteile"));
  }
  const std::string& id = fields[0];
  const std::string caption = fields.size() > 2 ? fields[2] : std::string();
  const std::string value = fields.size() > 3 ? fields[3] : std::string();

  std::unique_ptr<TAbstractAttribute> attribute = getAttributeInstanceByTypeName(fields[1]);
  if (!attribute) {
    return nullptr;
  }
  if (id.empty()) {
    throw EAttributedDocument(parseFailure("Ungültige AttributeID " + quoted(id)));
  }
  attribute->setAttributeID(id);
  attribute->setAttributeCaption(decodeBase64(caption));
  try {
    attribute->parseValue(value);
  } catch (const std::exception& e) {
    throw EAttributedDocument(parseFailure("Ungültiger Attributwert " + quoted(e.what())));
  }
  return attribute;
}

bool TAttributedDocument::existsAttribute(const TAbstractAttribute* aAttribute) const {
  return aAttribute != nullptr && existsAttributeID(aAttribute->getAttributeID());
}

bool TAttributedDocument::existsAttributeID(const std::string& aAttributeID) const {
  return findID(aAttributeID) != fAttributes.end();
}

void TAttributedDocument::checkNewAttributeID(const std::string& aAttributeID) const {
  if (existsAttributeID(aAttributeID)) {
    throw EAttributedDocument(existsAlready(aAttributeID, -1));
  }
  // An ID that is empty or holds a separator would give a line that cannot be read back.
  if (aAttributeID.empty() || aAttributeID.find_first_of(";\r\n") != std::string::npos) {
    throw EAttributedDocument("Ungültige AttributeID " + quoted(aAttributeID));
  }
}

bool TAttributedDocument::addAttribute(std::unique_ptr<TAbstractAttribute>&& aAttribute) {
  if (!aAttribute) {
    return false;
  }
  checkNewAttributeID(aAttribute->getAttributeID());
  fAttributes.push_back(std::move(aAttribute));
  return true;
}

template <class TAttribute, typename TValue>
void TAttributedDocument::addTypedAttribute(const std::string& aName, const std::string& aCaption,
                                            const char* aClassName, TValue&& aValue) {
  checkNewAttributeID(aName);
  std::unique_ptr<TAttribute> attribute =
      DefaultAttributeFactory().getInstance<TAttribute>(aName, aCaption);
  if (!attribute) {
    throw EAttributedDocument("Das Attribut " + quoted(aName + " : " + aClassName) +
                              " konnte nicht erstellt werden.");
  }
  attribute->setValue(std::forward<TValue>(aValue));
  fAttributes.push_back(std::move(attribute));
}

void TAttributedDocument::addStringAttribute(const std::string& aName, const std::string& aCaption,
                                             const std::string& aValue) {
  addTypedAttribute<TStringAttribute>(aName, aCaption, "TStringAttribute", aValue);
}

void TAttributedDocument::addIntegerAttribute(const std::string& aName, const std::string& aCaption,
                                              std::int32_t aValue) {
  addTypedAttribute<TIntegerAttribute>(aName, aCaption, "TIntegerAttribute", aValue);
}

void TAttributedDocument::addInt64Attribute(const std::string& aName, const std::string& aCaption,
                                            std::int64_t aValue) {
  addTypedAttribute<TInt64Attribute>(aName, aCaption, "TInt64Attribute", aValue);
}

void TAttributedDocument::addDoubleAttribute(const std::string& aName, const std::string& aCaption,
                                             double aValue) {
  addTypedAttribute<TDoubleAttribute>(aName, aCaption, "TDoubleAttribute", aValue);
}

void TAttributedDocument::addBooleanAttribute(const std::string& aName, const std::string& aCaption,
                                              bool aValue) {
  addTypedAttribute<TBooleanAttribute>(aName, aCaption, "TBooleanAttribute", aValue);
}

void TAttributedDocument::addDateTimeAttribute(const std::string& aName,
                                               const std::string& aCaption, TDateTime aValue) {
  addTypedAttribute<TDateTimeAttribute>(aName, aCaption, "TDateTimeAttribute", aValue);
}

void TAttributedDocument::addByteAttribute(const std::string& aName, const std::string& aCaption,
                                           std::uint8_t aValue) {
  addTypedAttribute<TByteAttribute>(aName, aCaption, "TByteAttribute", aValue);
}

void TAttributedDocument::addBytesAttribute(const std::string& aName, const std::string& aCaption,
                                            const TAttributesByteArray& aValue) {
  addTypedAttribute<TBytesAttribute>(aName, aCaption, "TBytesAttribute", aValue);
}

void TAttributedDocument::addRecordAttribute(const std::string& aName, const std::string& aCaption,
                                             const TAttributedDocument& aValue) {
  checkNewAttributeID(aName);
  std::unique_ptr<TRecordAttribute> attribute =
      DefaultAttributeFactory().getInstance<TRecordAttribute>(aName, aCaption);
  if (!attribute) {
    throw EAttributedDocument("Das Attribut " + quoted(aName + " : TRecordAttribute") +
                              " konnte nicht erstellt werden.");
  }
  attribute->getValue().setContent(aValue.getContent());
  fAttributes.push_back(std::move(attribute));
}

bool TAttributedDocument::deleteAttribute(const TAbstractAttribute* aAttribute) {
  if (aAttribute == nullptr) {
    return false;
  }
  const std::string id = aAttribute->getAttributeID(); // aAttribute may be the one destroyed
  return deleteAttributeID(id);
}

bool TAttributedDocument::deleteAttributeID(const std::string& aAttributeID) {
  const auto it = findID(aAttributeID);
  if (it == fAttributes.end()) {
    return false;
  }
  fAttributes.erase(it);
  return true;
}

void TAttributedDocument::clear() {
  while (!fAttributes.empty()) {
    fAttributes.pop_back();
  }
}

TAbstractAttribute& TAttributedDocument::getAttributes(int aIndex) const {
  if (aIndex < 0 || aIndex >= getAttributeCount()) {
    throw EAttributedDocument("List index out of bounds (" + std::to_string(aIndex) + ")");
  }
  return *fAttributes[static_cast<std::size_t>(aIndex)];
}

TAbstractAttribute* TAttributedDocument::getAttributesByID(const std::string& aAttributeID) const {
  const auto it = findID(aAttributeID);
  return it == fAttributes.end() ? nullptr : it->get();
}

std::vector<std::unique_ptr<TAbstractAttribute>>::iterator
TAttributedDocument::findID(const std::string& aID) {
  return std::find_if(fAttributes.begin(), fAttributes.end(), [&](const auto& attribute) {
    return sameID(attribute->getAttributeID(), aID);
  });
}

std::vector<std::unique_ptr<TAbstractAttribute>>::const_iterator
TAttributedDocument::findID(const std::string& aID) const {
  return std::find_if(fAttributes.begin(), fAttributes.end(), [&](const auto& attribute) {
    return sameID(attribute->getAttributeID(), aID);
  });
}

bool TAttributedDocument::saveToStream(std::ostream* aStream) const {
  if (aStream == nullptr) {
    return false;
  }
  const std::u16string text = utf8ToUtf16(getContent());
  const auto count = static_cast<std::uint32_t>(text.size());
  std::string bytes(kStreamTag, kStreamTagSize);
  for (int shift = 0; shift < 32; shift += 8) {
    bytes += static_cast<char>((count >> shift) & 0xFF);
  }
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  aStream->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!*aStream) {
    throw EAttributedDocument("Stream write error");
  }
  return true;
}

void TAttributedDocument::saveToFile(const std::string& aFilename) const {
  std::ofstream file(aFilename, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!file) {
    throw EAttributedDocument("Cannot create file " + quoted(aFilename));
  }
  saveToStream(&file);
}

bool TAttributedDocument::loadFromStream(std::istream* aStream) {
  if (aStream == nullptr) {
    return false;
  }
  char tag[kStreamTagSize];
  if (!readBytes(*aStream, tag, kStreamTagSize) ||
      std::memcmp(tag, kStreamTag, kStreamTagSize) != 0) {
    throw EAttributedDocument("there is no attributed document at this stream position.");
  }
  unsigned char countBytes[4];
  if (!readBytes(*aStream, reinterpret_cast<char*>(countBytes), sizeof countBytes)) {
    throw EAttributedDocument("Stream read error");
  }
  std::uint32_t count = 0;
  for (int i = 3; i >= 0; --i) {
    count = (count << 8) | countBytes[i];
  }
  std::u16string text;
  std::string piece;
  while (text.size() < count) {
    const std::size_t units = std::min<std::size_t>(kStreamReadPiece, count - text.size());
    piece.resize(units * 2);
    if (!readBytes(*aStream, piece.data(), piece.size())) {
      throw EAttributedDocument("Stream read error");
    }
    for (std::size_t i = 0; i < units; ++i) {
      text += static_cast<char16_t>(static_cast<unsigned char>(piece[2 * i]) |
                                    (static_cast<unsigned char>(piece[2 * i + 1]) << 8));
    }
  }
  setContent(utf16ToUtf8(text));
  return true;
}

void TAttributedDocument::loadFromFile(const std::string& aFilename, std::ios::openmode aFileMode) {
  std::ifstream file(aFilename, aFileMode | std::ios::in | std::ios::binary);
  if (!file) {
    throw EAttributedDocument("Cannot open file " + quoted(aFilename));
  }
  loadFromStream(&file);
}
