// Writing the shared files in C:\velk_temp, a folder every local account may change, without
// being led elsewhere by a link planted there.
//  [x] a new file made in place of whatever stood at the path (a link is removed, not followed)
//  [x] removal of what stands at a path: the entry itself, never a link's target
//  [x] the test whether a file may be rewritten in place (no link, no second name of another file)
//  [x] a link anywhere along the path (a linked folder too) counts as a link
//  [ ] where links are opened as their targets (Wine), a link cannot be removed: it is left alone
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

// Removes what stands at path without following a link; true when nothing stands there now.
bool removeWithoutFollowing(const std::wstring& path);

// Makes a new, empty file at path for writing, after removing what stood there; fails rather
// than follow a link that stays or appears in between. INVALID_HANDLE_VALUE on failure.
HANDLE createFreshFile(const std::wstring& path);

// True when a writer that opens path by name (the profile functions) would write this very
// file and nothing else: a plain file with one name, reached without a link. A missing file is
// made here first, so that a dangling link cannot have its target created by the writer.
bool mayRewriteInPlace(const std::wstring& path);
