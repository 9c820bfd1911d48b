#include "modem/VTStoredSMSJournal.h"

#include "logging/KvLogger.h"
#include "platform/Files.h"

#include <cerrno>

namespace {

constexpr const char* SC_MODULE = "smsmodem";

} // namespace

void TVTStoredSMSJournal::setFileName(const std::string& aFileName) {
  TScopedLock lock(fCSJournal);
  fFileName = aFileName;
  fPdus.clear();
  if (fFileName.empty()) {
    return;
  }
  std::string text;
  if (const auto read = platform::readWholeFile(fFileName, text); !read) {
    if (read.error != ENOENT) {
      Logger().error(SC_MODULE, "reading \"" + fFileName + "\": " + read.message());
    }
    return;
  }
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) {
      break; // a line cut short by a crash counts as never written
    }
    const std::string line = text.substr(start, end - start);
    if (line.size() > 1 && line[0] == '+') {
      fPdus.insert(line.substr(1));
    } else if (line.size() > 1 && line[0] == '-') {
      fPdus.erase(line.substr(1));
    }
    start = end + 1;
  }
  rewrite();
}

std::string TVTStoredSMSJournal::getFileName() const {
  TScopedLock lock(fCSJournal);
  return fFileName;
}

bool TVTStoredSMSJournal::contains(const std::string& aPdu) const {
  TScopedLock lock(fCSJournal);
  return fPdus.count(aPdu) != 0;
}

void TVTStoredSMSJournal::add(const std::string& aPdu) {
  TScopedLock lock(fCSJournal);
  if (fPdus.insert(aPdu).second) {
    append("+" + aPdu + "\n");
  }
}

void TVTStoredSMSJournal::remove(const std::string& aPdu) {
  TScopedLock lock(fCSJournal);
  if (fPdus.erase(aPdu) != 0) {
    append("-" + aPdu + "\n");
  }
}

void TVTStoredSMSJournal::retainOnly(const std::vector<std::string>& aPresent) {
  TScopedLock lock(fCSJournal);
  const std::set<std::string> present(aPresent.begin(), aPresent.end());
  const std::size_t before = fPdus.size();
  std::erase_if(fPdus, [&](const std::string& aPdu) { return present.count(aPdu) == 0; });
  if (fPdus.size() != before) {
    rewrite();
  }
}

std::size_t TVTStoredSMSJournal::size() const {
  TScopedLock lock(fCSJournal);
  return fPdus.size();
}

void TVTStoredSMSJournal::append(const std::string& aLine) {
  if (fFileName.empty()) {
    return;
  }
  if (const auto written = platform::appendToFileExclusive(fFileName, aLine); !written) {
    Logger().error(SC_MODULE, "writing \"" + fFileName + "\": " + written.message());
  }
}

void TVTStoredSMSJournal::rewrite() {
  if (fFileName.empty()) {
    return;
  }
  std::string text;
  for (const auto& pdu : fPdus) {
    text += "+" + pdu + "\n";
  }
  if (const auto written = platform::replaceFile(fFileName, text); !written) {
    Logger().error(SC_MODULE, "writing \"" + fFileName + "\": " + written.message());
  }
}
