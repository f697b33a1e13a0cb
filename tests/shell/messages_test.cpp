#include <gtest/gtest.h>

#include <set>

#include "shell/language.h"

using namespace tv;

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

// Splits a block at CR LF into (key, text), checking the line layout.
Lines splitBlock(std::string_view block) {
    Lines lines;
    std::size_t pos = 0;
    while (pos < block.size()) {
        std::size_t end = block.find("\r\n", pos);
        EXPECT_NE(end, std::string_view::npos) << "unterminated line at " << pos;
        if (end == std::string_view::npos) break;
        std::string_view line = block.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty()) {
            lines.emplace_back("", "");
            continue;
        }
        std::size_t sep = line.find(" = ");
        EXPECT_NE(sep, std::string_view::npos) << line;
        if (sep == std::string_view::npos) continue;
        lines.emplace_back(std::string(line.substr(0, sep)), std::string(line.substr(sep + 3)));
    }
    return lines;
}

std::string textOf(const Lines& lines, const std::string& key) {
    for (const auto& [k, t] : lines)
        if (k == key) return t;
    return "<missing " + key + ">";
}

TEST(MessageBlocks, SameKeysSameOrderAndCount) {
    Lines fr = splitBlock(frenchBlock());
    Lines en = splitBlock(englishBlock());
    // The English block ends with one extra empty line, the French one does not.
    ASSERT_FALSE(en.empty());
    EXPECT_EQ(en.back(), (std::pair<std::string, std::string>{"", ""}));
    en.pop_back();
    ASSERT_EQ(fr.size(), 64u);
    ASSERT_EQ(en.size(), 64u);
    std::set<std::string> unique;
    for (std::size_t i = 0; i < fr.size(); ++i) {
        EXPECT_EQ(fr[i].first, en[i].first) << "line " << i;
        EXPECT_FALSE(fr[i].first.empty());
        EXPECT_FALSE(fr[i].second.empty()) << fr[i].first;
        EXPECT_FALSE(en[i].second.empty()) << en[i].first;
        unique.insert(fr[i].first);
    }
    EXPECT_EQ(unique.size(), 64u);
    EXPECT_EQ(fr.front().first, "Error");
    EXPECT_EQ(fr.back().first, "ToolTip.ChangeAfter");
}

TEST(MessageBlocks, BlocksEndAsExpected) {
    std::string_view fr = frenchBlock();
    std::string_view en = englishBlock();
    EXPECT_TRUE(fr.starts_with("Error = Erreur\r\n"));
    EXPECT_TRUE(en.starts_with("Error = Error\r\n"));
    EXPECT_TRUE(fr.ends_with("s\xC3\xA9lectionn\xC3\xA9\r\n"));
    EXPECT_FALSE(fr.ends_with("\r\n\r\n"));
    EXPECT_TRUE(en.ends_with("Toogle checkbox after current item\r\n\r\n"));
    EXPECT_EQ(fr.find('\0'), std::string_view::npos);
    EXPECT_EQ(en.find('\0'), std::string_view::npos);
}

TEST(MessageBlocks, EnglishSampleTextsExactly) {
    Lines en = splitBlock(englishBlock());
    EXPECT_EQ(textOf(en, "Error"), "Error");
    EXPECT_EQ(textOf(en, "Byte"), "byte");
    EXPECT_EQ(textOf(en, "Wnd.Title.Main"), "Settings");
    EXPECT_EQ(textOf(en, "Text.Params"), "Settings for % images to compress");
    EXPECT_EQ(textOf(en, "Text.Version"), "Version: #");
    EXPECT_EQ(textOf(en, "Button.Next"), "Next >>");
    EXPECT_EQ(textOf(en, "Info.StopThread.Message"), "Are you sur to stop this program now ?");
    EXPECT_EQ(textOf(en, "Info.AlertFile.Diese"), "Filename should contain exactly one '#' !");
    EXPECT_EQ(textOf(en, "Info.AlertFile.InvalidName"), "Invalide filename: '%' unexpected !");
    EXPECT_EQ(textOf(en, "Info.ContainsVideo"), "Be carefull, this folder also contains videos !!!");
    EXPECT_EQ(textOf(en, "Info.EmptyFolder1"), "None image found in this folder.");
    EXPECT_EQ(textOf(en, "Info.FileOverwrite.Message"), "Overwrite the file: '%' ?");
    EXPECT_EQ(textOf(en, "Info.LoadImageFailed.Text2"), "Fail to load %.");
    EXPECT_EQ(textOf(en, "Info.NewSize.Error1"), "Unable to divise by zero !");
    EXPECT_EQ(textOf(en, "Info.NewSize.Error3"), "Value attended greater than zero !");
    EXPECT_EQ(textOf(en, "Info.NewSize.Message"), "Images will be resized to this scale: #%.");
    EXPECT_EQ(textOf(en, "Combo.Size.Other"), "Other");
    EXPECT_EQ(textOf(en, "Checkbox.OpenFolder"), "Open destination folder when compression will be done");
    EXPECT_EQ(textOf(en, "ToolTip.Ratio"), "Fraction: 'x/y', Per-cent: '120%' or Ratio: '1.2'");
    EXPECT_EQ(textOf(en, "ToolTip.ChangeBefore"), "Toogle checkbox before current item");
}

TEST(MessageBlocks, FrenchSampleTextsExactlyInUtf8) {
    Lines fr = splitBlock(frenchBlock());
    EXPECT_EQ(textOf(fr, "Error"), "Erreur");
    EXPECT_EQ(textOf(fr, "Byte"), "octet");
    EXPECT_EQ(textOf(fr, "Frame.Path"), "R\xC3\xA9pertoire des images");
    EXPECT_EQ(textOf(fr, "Frame.Quality"), "Qualit\xC3\xA9 et format des images");
    EXPECT_EQ(textOf(fr, "Text.Params"), "Param\xC3\xA8tres pour les % images \xC3\xA0 convertir");
    EXPECT_EQ(textOf(fr, "Button.ChangeAfter"), "Changer Apr\xC3\xA8s");
    EXPECT_EQ(textOf(fr, "Button.StopCompression"), "Arr\xC3\xAAter");
    EXPECT_EQ(textOf(fr, "Info.StopThread.Message"),
              "Etes-vous s\xC3\xBBr de vouloir arr\xC3\xAAter la compression ?");
    EXPECT_EQ(textOf(fr, "Info.FileOverwrite.Title"), "Ecrassement de fichier ?");
    EXPECT_EQ(textOf(fr, "Info.FileOverwrite.Message"), "Ecrasez le fichier : '%' ?");
    EXPECT_EQ(textOf(fr, "Info.FileOverwrite.New.Title"), "Renommer l'image");
    EXPECT_EQ(textOf(fr, "Info.LoadImageFailed.Text2"), "Le chargement de l'image % a \xC3\xA9" "chou\xC3\xA9.");
    EXPECT_EQ(textOf(fr, "Info.NewSize.Error4"), "Entier attendu devant le signe '%' !");
    EXPECT_EQ(textOf(fr, "Info.NewSize.Message"),
              "Les images vont \xC3\xAAtre redimensionn\xC3\xA9" "es \xC3\xA0 l'\xC3\xA9" "chelle #%.");
    EXPECT_EQ(textOf(fr, "Checkbox.DeleteImage"), "Supprimer l'ancienne image");
    EXPECT_EQ(textOf(fr, "ToolTip.ChangeAfter"),
              "Inverse l'\xC3\xA9tat des checkbox des \xC3\xA9lements apr\xC3\xA8s celui s\xC3\xA9lectionn\xC3\xA9");
}

}  // namespace
