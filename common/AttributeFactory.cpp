#include "common/AttributeFactory.h"

#include "common/TextEncoding.h"

std::string attributeTypeIDName(TAttributeType aType) {
  static const char* const kNames[] = {"AT_UNDEFINED", "AT_STRING",  "AT_INTEGER",    "AT_INT64",
                                       "AT_DOUBLE",    "AT_BOOLEAN", "AT_DATETIME",   "AT_BYTE",
                                       "AT_BYTES",     "AT_RECORD",  "AT_WIDESTRING", "AT_CHAR",
                                       "AT_WIDECHAR"};
  const int index = static_cast<int>(aType);
  return index >= 0 && index <= AT_WIDECHAR ? kNames[index] : kNames[0];
}

void TAttributeFactory::addTypeInfo(const std::string& aTypeName, TAttributeType aTypeID,
                                    const TAttributeClass& aTypeClass) {
  const std::string name = lowerAscii(aTypeName);
  for (TTypeEntry& entry : fTypeList) {
    if (entry.TypeName == name) {
      entry = {name, aTypeID, aTypeClass};
      return;
    }
  }
  fTypeList.push_back({name, aTypeID, aTypeClass});
}

void TAttributeFactory::initTypes() {
  addTypeInfo("string", AT_STRING, attributeClassOf<TStringAttribute>("TStringAttribute"));
  addTypeInfo("wstring", AT_WIDESTRING,
              attributeClassOf<TWideStringAttribute>("TWideStringAttribute"));
  addTypeInfo("char", AT_CHAR, attributeClassOf<TCharAttribute>("TCharAttribute"));
  addTypeInfo("wchar", AT_WIDECHAR, attributeClassOf<TWideCharAttribute>("TWideCharAttribute"));
  addTypeInfo("int", AT_INTEGER, attributeClassOf<TIntegerAttribute>("TIntegerAttribute"));
  addTypeInfo("long", AT_INT64, attributeClassOf<TInt64Attribute>("TInt64Attribute"));
  addTypeInfo("double", AT_DOUBLE, attributeClassOf<TDoubleAttribute>("TDoubleAttribute"));
  addTypeInfo("bool", AT_BOOLEAN, attributeClassOf<TBooleanAttribute>("TBooleanAttribute"));
  addTypeInfo("datetime", AT_DATETIME, attributeClassOf<TDateTimeAttribute>("TDateTimeAttribute"));
  addTypeInfo("byte", AT_BYTE, attributeClassOf<TByteAttribute>("TByteAttribute"));
  addTypeInfo("bytes", AT_BYTES, attributeClassOf<TBytesAttribute>("TBytesAttribute"));
  addTypeInfo("struct", AT_RECORD, attributeClassOf<TRecordAttribute>("TRecordAttribute"));
}

std::unique_ptr<TAbstractAttribute>
TAttributeFactory::getInstance(const std::string& aTypeName) const {
  const std::string name = lowerAscii(aTypeName);
  for (const TTypeEntry& entry : fTypeList) {
    if (entry.TypeName == name) {
      return entry.Class.Create(entry.TypeName, entry.TypeID);
    }
  }
  return nullptr;
}

TAbstractAttribute* TAttributeFactory::create(std::type_index aType) const {
  for (const TTypeEntry& entry : fTypeList) {
    if (entry.Class.Type == aType) {
      return entry.Class.Create(entry.TypeName, entry.TypeID).release();
    }
  }
  return nullptr;
}

std::vector<std::string> TAttributeFactory::getTypeList() const {
  std::vector<std::string> list;
  for (const TTypeEntry& entry : fTypeList) {
    list.push_back(entry.TypeName + "=" + attributeTypeIDName(entry.TypeID));
  }
  return list;
}

const TAttributeFactory& DefaultAttributeFactory() {
  static const TAttributeFactory factory = [] {
    TAttributeFactory f;
    f.initTypes();
    return f;
  }();
  return factory;
}

const TFormatSettings& DefaultAttributeFormatSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings s;
    initSQLFormatSettings(s);
    return s;
  }();
  return settings;
}
