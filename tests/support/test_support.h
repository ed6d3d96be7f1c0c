#pragma once

#include <QString>
#include <QTemporaryDir>
#include <string>

// Helpers shared by the test suites.
namespace testsupport {

// Folder where tests leave files for a person to look at (screenshots).
inline QString outputDir() { return QStringLiteral(KORVANE_TEST_OUTPUT); }

// Writes `text` to `path`, returning false on failure.
bool writeTextFile(const QString& path, const std::string& text);

// Built with AddressSanitizer: its allocator ends the process on a failed
// allocation (operator new does not throw), so a reading child at its
// address-space budget ends without an answer instead of saying so.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
// What a reading child at its budget of `gigabytes` says in this build.
QString overBudgetReason(const char* gigabytes);
// Writes `text` as `name` in `dir` (a failure fails the test); its path.
QString writeFileIn(const QTemporaryDir& dir, const QString& name, const std::string& text);

// OFF text of the axis-aligned unit cube [0,1]^3, 12 triangles, counter-clockwise
// seen from outside.
std::string unitCubeOff();

}  // namespace testsupport
