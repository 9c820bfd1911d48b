#pragma once

// The text of db/schema.sql, built into the program.
extern const char* const SC_SCHEMASQL;
