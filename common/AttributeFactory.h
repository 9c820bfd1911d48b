#pragma once

#include "common/Attributes.h"
#include "common/LanguageTools.h"

#include <memory>
#include <string>
#include <typeindex>
#include <vector>

// A concrete attribute class as the factory knows it: its identity, its name and how to
// create one.
struct TAttributeClass {
  std::type_index Type;
  std::string ClassName;
  std::unique_ptr<TAbstractAttribute> (*Create)(const std::string& aTypeName, TAttributeType aType);
};

template <class TAttribute>
TAttributeClass attributeClassOf(std::string aClassName) {
  return {typeid(TAttribute), std::move(aClassName),
          [](const std::string& aTypeName, TAttributeType aType) {
            return std::unique_ptr<TAbstractAttribute>(new TAttribute(aTypeName, aType));
          }};
}

// "AT_STRING" for AT_STRING and so on; "AT_UNDEFINED" for anything else.
std::string attributeTypeIDName(TAttributeType aType);

// The registry of attribute types: type name, type and class. Registration is not
// thread-safe; creating attributes only reads, so any thread may do it once the types are in.
class TAttributeFactory {
public:
  // Registers a type under its lower-cased name; a later registration of a name replaces the
  // earlier one.
  void addTypeInfo(const std::string& aTypeName, TAttributeType aTypeID,
                   const TAttributeClass& aTypeClass);
  // The twelve types of the document: string, wstring, char, wchar, int, long, double, bool,
  // datetime, byte, bytes, struct.
  void initTypes();

  // A new attribute of the type registered under aTypeName (any letter case); null when none.
  std::unique_ptr<TAbstractAttribute> getInstance(const std::string& aTypeName) const;
  // A new attribute of class TAttribute with its registered type name; null when the class is
  // not registered.
  template <class TAttribute>
  std::unique_ptr<TAttribute> getInstance() const {
    return std::unique_ptr<TAttribute>(static_cast<TAttribute*>(create(typeid(TAttribute))));
  }
  template <class TAttribute>
  std::unique_ptr<TAttribute> getInstance(const std::string& aAttributeID,
                                          const std::string& aAttributeCaption) const {
    std::unique_ptr<TAttribute> attribute = getInstance<TAttribute>();
    if (attribute) {
      attribute->setAttributeID(aAttributeID);
      attribute->setAttributeCaption(aAttributeCaption);
    }
    return attribute;
  }

  // The entries as "string=AT_STRING", in the order of registration.
  std::vector<std::string> getTypeList() const;

private:
  struct TTypeEntry {
    std::string TypeName;
    TAttributeType TypeID;
    TAttributeClass Class;
  };
  TAbstractAttribute* create(std::type_index aType) const; // caller owns; null when unknown

  std::vector<TTypeEntry> fTypeList;
};

// The process-wide factory with the twelve types, created on first use.
const TAttributeFactory& DefaultAttributeFactory();
// The SQL format record (initSQLFormatSettings) that datetime values are written and read with.
const TFormatSettings& DefaultAttributeFormatSettings();
