// How much a bound on elapsed time widens in a sanitizer build, whose code runs several times slower.
#pragma once

namespace testing_support {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
inline constexpr double kTimingSlack = 3.0;
#else
inline constexpr bool kSanitizedBuild = false;
inline constexpr double kTimingSlack = 1.0;
#endif

} // namespace testing_support
