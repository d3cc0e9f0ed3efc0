// In-memory stand-in for the renderer's file input (renderer/file_input.h).
// Files are registered by path; every open, read and close is counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace filestub {

// Forgets all files and counters.
void reset();
// Writes the file: its size and a last-write time later than any before.
void put(const std::string& path, std::vector<unsigned char> bytes);
// Another file put in its place (a new file index) with the given last-write time, as a
// copy that keeps the original's time.
void replace(const std::string& path, std::vector<unsigned char> bytes, std::int64_t lastWrite);
void remove(const std::string& path);
// The path exists but cannot be opened, as a folder or a file locked by another program.
void unopenable(const std::string& path);
std::int64_t lastWrite(const std::string& path);

int opens();       // successful opens since reset
int openNow();     // handles not closed yet
int closes();
// The byte counts asked for by each read since reset, in order.
const std::vector<std::size_t>& readRequests();

}  // namespace filestub
