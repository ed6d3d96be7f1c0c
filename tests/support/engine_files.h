#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <string>

#include "engine/sorvex.h"
#include "support/test_support.h"

namespace testsupport {

// A test with an engine and a temporary folder for the files it loads.
class EngineWithFiles : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  Sorvex engine{nullptr};

  // Writes `text` as `name` in the folder; the path, as the engine takes it.
  QByteArray file(const QString& name, const std::string& text) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeTextFile(path, text));
    return path.toLocal8Bit();
  }
};

}  // namespace testsupport
