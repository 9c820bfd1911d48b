#pragma once

#include "common/DateTime.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TAttributedDocument;

// Raised for every failure of the attributed document: parsing, typed reads, adding.
class EAttributedDocument : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum TAttributeType {
  AT_UNDEFINED = 0,
  AT_STRING = 1,
  AT_INTEGER = 2,
  AT_INT64 = 3,
  AT_DOUBLE = 4,
  AT_BOOLEAN = 5,
  AT_DATETIME = 6,
  AT_BYTE = 7,
  AT_BYTES = 8,
  AT_RECORD = 9,
  AT_WIDESTRING = 10,
  AT_CHAR = 11,
  AT_WIDECHAR = 12,
};

using TAttributesByteArray = std::vector<std::uint8_t>;

// One named, typed value of an attributed document. Created through the attribute factory,
// which passes the registered type name and type; owned by the document that holds it.
// Not thread-safe: an attribute is used by one thread at a time, like its document.
class TAbstractAttribute {
public:
  TAbstractAttribute(std::string aTypeName, TAttributeType aType);
  virtual ~TAbstractAttribute();
  TAbstractAttribute(const TAbstractAttribute&) = delete;
  TAbstractAttribute& operator=(const TAbstractAttribute&) = delete;

  // The line of the text form, without its line break: "id;type;caption;value;".
  virtual std::string getContent() const;
  // The value field of the line.
  virtual std::string getValueAsText() const = 0;
  virtual std::string getTypeAsText() const;
  virtual TAttributeType getType() const;

  // Typed reads; a read the class does not answer fails with EAttributedDocument.
  virtual std::string getValueAsString() const;
  virtual std::int32_t getValueAsInteger() const;
  virtual std::int64_t getValueAsInt64() const;
  virtual double getValueAsDouble() const;
  virtual bool getValueAsBoolean() const;
  virtual TDateTime getValueAsDateTime() const;
  virtual std::uint8_t getValueAsByte() const;
  virtual TAttributesByteArray getValueAsBytes() const;
  // The nested document, still owned by the attribute.
  virtual TAttributedDocument& getValueAsRecord();
  const TAttributedDocument& getValueAsRecord() const;

  virtual void addExtraInfo() {}
  // Reads the value field of a line; fails with EAttributedDocument on a bad value.
  virtual void parseValue(const std::string& aText) = 0;

  const std::string& getAttributeID() const { return fAttributeID; }
  void setAttributeID(std::string aID) { fAttributeID = std::move(aID); }
  const std::string& getAttributeCaption() const { return fAttributeCaption; }
  void setAttributeCaption(std::string aCaption) { fAttributeCaption = std::move(aCaption); }
  TAttributeType getAttributeType() const { return fAttributeType; }

protected:
  // The failure of a typed read: aRequested is "string", "int", "long", ... .
  [[noreturn]] void failRead(const char* aRequested) const;

private:
  std::string fAttributeID;
  std::string fAttributeCaption;
  TAttributeType fAttributeType;
  std::string fAttributeTypeName;
};

// Text attributes: "string" and "wstring" differ only in their type name.
class TStringAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override;
  std::int64_t getValueAsInt64() const override;
  double getValueAsDouble() const override;

  const std::string& getValue() const { return fValue; }
  void setValue(std::string aValue) { fValue = std::move(aValue); }

private:
  std::string fValue;
};

class TWideStringAttribute : public TStringAttribute {
public:
  using TStringAttribute::TStringAttribute;
};

// One character (a code point); "char" and "wchar" differ in their type name and message.
class TCharAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override;
  std::int64_t getValueAsInt64() const override;
  double getValueAsDouble() const override;

  char32_t getValue() const { return fValue; }
  void setValue(char32_t aValue) { fValue = aValue; }

protected:
  virtual std::string notOneCharacterMessage(const std::string& aText) const;

private:
  char32_t fValue = 0;
};

class TWideCharAttribute : public TCharAttribute {
public:
  using TCharAttribute::TCharAttribute;

protected:
  std::string notOneCharacterMessage(const std::string& aText) const override;
};

class TIntegerAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override;
  std::int64_t getValueAsInt64() const override;
  double getValueAsDouble() const override;

  std::int32_t getValue() const { return fValue; }
  void setValue(std::int32_t aValue) { fValue = aValue; }

private:
  std::int32_t fValue = 0;
};

class TInt64Attribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override; // the low 32 bits
  std::int64_t getValueAsInt64() const override;
  double getValueAsDouble() const override;

  std::int64_t getValue() const { return fValue; }
  void setValue(std::int64_t aValue) { fValue = aValue; }

private:
  std::int64_t fValue = 0;
};

class TDoubleAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  // Text that is no number gives not-a-number, never a failure.
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override; // whole numbers only
  std::int64_t getValueAsInt64() const override;   // whole numbers only
  double getValueAsDouble() const override;

  double getValue() const { return fValue; }
  void setValue(double aValue) { fValue = aValue; }

private:
  double fValue = 0.0;
};

class TBooleanAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override;
  bool getValueAsBoolean() const override;

  bool getValue() const { return fValue; }
  void setValue(bool aValue) { fValue = aValue; }

private:
  bool fValue = false;
};

class TDateTimeAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  double getValueAsDouble() const override;
  TDateTime getValueAsDateTime() const override;

  TDateTime getValue() const { return fValue; }
  void setValue(TDateTime aValue) { fValue = aValue; }

private:
  TDateTime fValue;
};

class TByteAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  std::int32_t getValueAsInteger() const override;
  double getValueAsDouble() const override;
  std::uint8_t getValueAsByte() const override;

  std::uint8_t getValue() const { return fValue; }
  void setValue(std::uint8_t aValue) { fValue = aValue; }

private:
  std::uint8_t fValue = 0;
};

class TBytesAttribute : public TAbstractAttribute {
public:
  using TAbstractAttribute::TAbstractAttribute;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  TAttributesByteArray getValueAsBytes() const override;

  const TAttributesByteArray& getValue() const { return fValue; }
  void setValue(TAttributesByteArray aValue) { fValue = std::move(aValue); }

private:
  TAttributesByteArray fValue;
};

// A nested document, owned by the attribute.
class TRecordAttribute : public TAbstractAttribute {
public:
  TRecordAttribute(std::string aTypeName, TAttributeType aType);
  ~TRecordAttribute() override;
  std::string getValueAsText() const override;
  void parseValue(const std::string& aText) override;
  std::string getValueAsString() const override;
  TAttributedDocument& getValueAsRecord() override;

  TAttributedDocument& getValue() { return *fValue; }
  const TAttributedDocument& getValue() const { return *fValue; }

private:
  std::unique_ptr<TAttributedDocument> fValue;
};
