#pragma once

#include "common/Attributes.h"

#include <ios>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// An ordered list of named, typed attributes with a line-oriented text form
// ("id;type;caption;value;" + CR LF per attribute) and a binary stream form ("attdoc" in
// UTF-16LE, a 32-bit count of UTF-16 code units, the text in UTF-16LE).
//
// The document owns its attributes. IDs are unique within a document, compared without
// regard to letter case. A document is used by one thread at a time; documents share only
// the default attribute factory and format record, which are read-only. Failures are
// EAttributedDocument with the documented message; a failed add leaves the document as it
// was, a failed read keeps the attributes read before the failing line.
class TAttributedDocument {
public:
  TAttributedDocument();
  // Copies go through the text form: the copy has exactly the precision of the text.
  TAttributedDocument(const TAttributedDocument& aSource);
  TAttributedDocument& operator=(const TAttributedDocument& aSource);
  virtual ~TAttributedDocument();

  virtual std::string getContent() const;
  // Clears the document, then reads aText line by line.
  virtual void setContent(const std::string& aText);
  virtual std::unique_ptr<TAbstractAttribute>
  getAttributeInstanceByTypeName(const std::string& aTypeName) const;
  // False for a null stream; otherwise writes the binary form.
  virtual bool saveToStream(std::ostream* aStream) const;
  // Creates or truncates the file.
  virtual void saveToFile(const std::string& aFilename) const;
  // False for a null stream; otherwise reads the binary form at the stream's position.
  virtual bool loadFromStream(std::istream* aStream);
  virtual void loadFromFile(const std::string& aFilename,
                            std::ios::openmode aFileMode = std::ios::in | std::ios::binary);

  // One line into a new attribute; null when its type name is unknown.
  std::unique_ptr<TAbstractAttribute> parseAttribute(const std::string& aAttributeText) const;

  bool existsAttribute(const TAbstractAttribute* aAttribute) const;
  bool existsAttributeID(const std::string& aAttributeID) const;
  // False for null. Takes the attribute only when it is appended; on a failure the caller
  // keeps it.
  bool addAttribute(std::unique_ptr<TAbstractAttribute>&& aAttribute);

  void addStringAttribute(const std::string& aName, const std::string& aCaption,
                          const std::string& aValue);
  void addIntegerAttribute(const std::string& aName, const std::string& aCaption,
                           std::int32_t aValue);
  void addInt64Attribute(const std::string& aName, const std::string& aCaption,
                         std::int64_t aValue);
  void addDoubleAttribute(const std::string& aName, const std::string& aCaption, double aValue);
  void addBooleanAttribute(const std::string& aName, const std::string& aCaption, bool aValue);
  void addDateTimeAttribute(const std::string& aName, const std::string& aCaption,
                            TDateTime aValue);
  void addByteAttribute(const std::string& aName, const std::string& aCaption, std::uint8_t aValue);
  void addBytesAttribute(const std::string& aName, const std::string& aCaption,
                         const TAttributesByteArray& aValue);
  // The attribute gets a copy of aValue made through the text form; the caller keeps aValue.
  void addRecordAttribute(const std::string& aName, const std::string& aCaption,
                          const TAttributedDocument& aValue);

  // Remove and destroy the first attribute with the ID (of aAttribute); false when none.
  bool deleteAttribute(const TAbstractAttribute* aAttribute);
  bool deleteAttributeID(const std::string& aAttributeID);
  // Destroys every attribute, last first.
  void clear();

  int getAttributeCount() const { return static_cast<int>(fAttributes.size()); }
  // Fails for an index outside 0 .. count-1.
  TAbstractAttribute& getAttributes(int aIndex) const;
  // Null when there is no attribute with that ID.
  TAbstractAttribute* getAttributesByID(const std::string& aAttributeID) const;

  bool getReportInvalidAttributes() const { return fReportInvalidAttributes; }
  void setReportInvalidAttributes(bool aValue) { fReportInvalidAttributes = aValue; }

private:
  template <class TAttribute, typename TValue>
  void addTypedAttribute(const std::string& aName, const std::string& aCaption,
                         const char* aClassName, TValue&& aValue);
  void checkNewAttributeID(const std::string& aAttributeID) const;
  std::vector<std::unique_ptr<TAbstractAttribute>>::iterator findID(const std::string& aID);
  std::vector<std::unique_ptr<TAbstractAttribute>>::const_iterator
  findID(const std::string& aID) const;

  std::vector<std::unique_ptr<TAbstractAttribute>> fAttributes;
  bool fReportInvalidAttributes = true;
};
