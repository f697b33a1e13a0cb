// A program record on the scripted window system, with the texts of one
// language loaded and a private scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "windows/ids.h"
#include "shell/program.h"
#include "shell/stored_options.h"
#include "backends/scripted/scripted_window_system.h"
#include "support/temp_dir.h"

namespace tvtest {

// The program's folder separator, as a text: "\\" on Windows, "/" elsewhere.
inline const std::string Sep(1, tv::platform::Separator);

class OptionsTest : public ::testing::Test {
protected:
    tv::ScriptedWindowSystem ui;
    tvtest::TempDir dir;
    tv::Program p{ui};
    std::filesystem::path scratch{dir.path()};

    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        p.workDir = scratch.string();
    }

    void loadTexts(unsigned char language) {
        ASSERT_TRUE(tv::loadMessageTable(p, language));
        ASSERT_FALSE(p.ended);
    }

    std::vector<tv::RequesterRecord> boxes() {
        std::vector<tv::RequesterRecord> out;
        for (const auto& r : ui.requesterLog())
            if (r.kind == tv::RequesterKind::MessageBox) out.push_back(r);
        return out;
    }

    static void writeFile(const std::filesystem::path& path, std::size_t bytes) {
        std::ofstream out(path, std::ios::binary);
        out << std::string(bytes, 'x');
        ASSERT_TRUE(out.good()) << path;
    }
};

}  // namespace tvtest
