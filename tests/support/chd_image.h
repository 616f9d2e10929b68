// CHD images built in a test: a valid header of version 3, 4 or 5 and a few
// bytes of "data" after it, enough for anything that reads headers only.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane::testing {

// Every digest field of a built image differs, so reading the wrong one shows.
inline const std::string kChdSha1 = "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3";
inline const std::string kChdRawSha1 = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
inline const std::string kChdParentSha1 = "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12";
inline const std::string kChdMd5 = "098f6bcd4621d373cade4e832627b4f6";
inline const std::string kChdNoSha1(40, '0');

// The tag, header length and version every CHD header starts with.
std::string chdStart(uint32_t length, uint32_t version);

// A version 3, 4 or 5 image whose DAT SHA-1 is `sha1`. A v3/v4 image without
// the parent flag still carries a stale parent SHA-1.
std::string chdImage(unsigned version, bool parent = false, const std::string& sha1 = kChdSha1);

}  // namespace quorvane::testing
