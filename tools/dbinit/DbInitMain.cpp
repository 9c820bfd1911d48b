// parlino-dbinit DATABASE --admin NAME PASSWORD [--user U] [--password P] [--encoding E]
//                [--schema FILE]
// Creates the database DATABASE, a bare path (the embedded engine creates the file) or
// host:path (the database server creates it), runs the schema and adds an administration
// account NAME with PASSWORD (type 255, active, no expiry).
#include "SchemaText.h"
#include "logging/KvLogger.h"
#include "platform/Files.h"
#include "server/DatabaseSetup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void usage() {
  std::fprintf(stderr, "usage: parlino-dbinit PATH|HOST:PATH --admin NAME PASSWORD [--user USER]\n"
                       "                      [--password PASSWORD] [--encoding CHARSET] "
                       "[--schema FILE]\n"
                       "  USER and PASSWORD log on to the database (default $ISC_USER or SYSDBA,\n"
                       "  $ISC_PASSWORD or pondlight); CHARSET is the connection character set\n"
                       "  (default UTF8); FILE replaces the built-in schema.\n");
}

std::string environment(const char* aName, const char* aDefault) {
  const char* value = std::getenv(aName);
  return value != nullptr && *value != '\0' ? value : aDefault;
}

} // namespace

int main(int argc, char** argv) {
  // The server's log lines of the connection are of no use here and would leave a log file
  // beside the program; failures are reported on stderr instead.
  Logger().clearAppenders();
  TBizDatabaseSettings settings;
  settings.Username = environment("ISC_USER", "SYSDBA");
  settings.Password = environment("ISC_PASSWORD", "pondlight");
  settings.Encoding = "UTF8";
  std::string adminName;
  std::string adminPassword;
  std::string schema = SC_SCHEMASQL;
  bool haveAdmin = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--admin" && i + 2 < argc) {
      adminName = argv[++i];
      adminPassword = argv[++i];
      haveAdmin = true;
    } else if (arg == "--user" && hasValue) {
      settings.Username = argv[++i];
    } else if (arg == "--password" && hasValue) {
      settings.Password = argv[++i];
    } else if (arg == "--encoding" && hasValue) {
      settings.Encoding = argv[++i];
    } else if (arg == "--schema" && hasValue) {
      const std::string file = argv[++i];
      if (!platform::readWholeFile(file, schema)) {
        std::fprintf(stderr, "parlino-dbinit: cannot read the schema %s\n", file.c_str());
        return 2;
      }
    } else if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    } else if (!arg.empty() && arg[0] != '-' && settings.Name.empty()) {
      // Passed to the client library as it is: it opens a bare path with the embedded engine
      // and a host:path through the server.
      settings.Name = arg;
    } else {
      usage();
      return 2;
    }
  }
  if (settings.Name.empty() || !haveAdmin || adminName.empty()) {
    usage();
    return 2;
  }
  std::string error;
  if (!setupDatabase(settings, schema, adminName, adminPassword, error)) {
    std::fprintf(stderr, "parlino-dbinit: %s\n", error.c_str());
    return 1;
  }
  std::printf("parlino-dbinit: database %s created with administrator \"%s\"\n",
              settings.Name.c_str(), adminName.c_str());
  return 0;
}
