#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>

// The value-tagged stream form in which filters are stored: every item starts with a one-byte
// tag. Pure byte work on a caller's stream; no state beyond the stream position.
enum TKvValueTag : std::uint8_t {
  KVVT_NULL = 0x00, // list end
  KVVT_LIST = 0x01,
  KVVT_STRING = 0x06, // single-byte text, one length byte
  KVVT_IDENT = 0x07,
  KVVT_FALSE = 0x08,
  KVVT_TRUE = 0x09,
  KVVT_LSTRING = 0x0C,    // single-byte text, 32-bit length
  KVVT_WSTRING = 0x12,    // UTF-16LE, 32-bit count of code units
  KVVT_UTF8STRING = 0x14, // UTF-8, 32-bit byte count
};

// Raised by TKvValueReader for a stream that ends early or holds an item of another kind than
// the one asked for.
class EKvStreamReadError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Writes items. Stream failures are the stream's own state; nothing here throws.
class TKvValueWriter {
public:
  explicit TKvValueWriter(std::ostream& aStream) : fStream(aStream) {}
  void writeListBegin();
  void writeListEnd();
  // An identifier of at most 255 bytes (longer ones are cut).
  void writeIdent(const std::string& aName);
  void writeBoolean(bool aValue);
  // Picks the shortest of the string forms for the UTF-8 text aText.
  void writeString(const std::string& aText);

private:
  void writeByte(std::uint8_t aByte);
  void writeInt32(std::uint32_t aValue);
  void writeBytes(const std::string& aBytes);

  std::ostream& fStream;
};

// Reads items; throws EKvStreamReadError. Single-byte texts are read as Windows-1252, every
// text is returned as UTF-8. Memory grows only with the bytes actually present.
class TKvValueReader {
public:
  explicit TKvValueReader(std::istream& aStream) : fStream(aStream) {}
  void readListBegin();
  void readListEnd();
  std::string readIdent();
  bool readBoolean();
  std::string readString();

private:
  std::uint8_t readTag();
  std::uint8_t readByte();
  std::uint32_t readLength();
  std::string readBytes(std::uint64_t aCount);

  std::istream& fStream;
};
