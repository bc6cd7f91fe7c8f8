// The manual pages, the completion and the bridge README against the
// vocabulary: every name and every range that they give a user is the one
// the programs take, so that no document promises a value that is refused.
#include <StationVocabulary.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace ravenlink::vocab;

namespace {

// The document as a reader sees it: roff's escaped minus and quote undone.
std::string document(const std::string& path)
{
    std::ifstream in(std::string(RAVENLINK_SOURCE_DIR) + "/" + path);
    EXPECT_TRUE(in) << path;
    std::stringstream text;
    text << in.rdbuf();
    std::string shown = text.str();
    for (const auto& [escape, plain] : {std::pair<std::string, std::string>{"\\-", "-"}, {"\\(dq", "\""}}) {
        for (std::size_t at = shown.find(escape); at != std::string::npos; at = shown.find(escape, at)) {
            shown.replace(at, escape.size(), plain);
        }
    }
    return shown;
}

std::string range(const Setting& s, const char* between = " to ")
{
    return numberText(s.low) + between + numberText(s.high);
}

void expectSpelled(const std::string& path, const std::vector<std::string>& words)
{
    const std::string text = document(path);
    for (const std::string& word : words) {
        EXPECT_NE(text.find(word), std::string::npos) << path << " does not say: " << word;
    }
    // The start length's lower bound is distinctive: wherever it opens a
    // range, the range must end at the vocabulary's upper bound.
    for (const std::string& opening : {numberText(retractionStart.low) + " to ", numberText(retractionStart.low) + ".."}) {
        for (std::size_t at = text.find(opening); at != std::string::npos; at = text.find(opening, at + 1)) {
            EXPECT_EQ(text.compare(at + opening.size(), numberText(retractionStart.high).size(),
                                   numberText(retractionStart.high)),
                      0)
                << path << ": " << text.substr(at, 40);
        }
    }
}

std::vector<std::string> groupWords(bool json, const std::string& behind = "")
{
    std::vector<std::string> words;
    for (const Group& group : statusGroups) {
        words.push_back(std::string(json ? group.jsonKey : group.cliName) + behind);
    }
    return words;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(VocabularyDocs, CtlManualGivesTheRangesAndGroupNames)
{
    expectSpelled("RavenlinkCtl/ravenlinkctl.1",
                  std::vector<std::string>{
                      std::string(retractionTorque.name), std::string(retractionTorque.placeholder),
                      std::string(retractionStart.name), std::string(retractionStart.placeholder),
                      std::string(connectionTimeout.placeholder), std::string(readingInterval.placeholder),
                      range(retractionTorque), range(retractionStart), range(connectionTimeout),
                      range(readingInterval)} +
                      groupWords(false));
}

TEST(VocabularyDocs, CompletionOffersTheGroupNames)
{
    expectSpelled("RavenlinkCtl/ravenlinkctl.bash-completion.in",
                  std::vector<std::string>{"--" + std::string(retractionTorque.name),
                                           "--" + std::string(retractionStart.name),
                                           "--" + std::string(connectionTimeout.name),
                                           "--" + std::string(readingInterval.name)} +
                      groupWords(false, "="));
}

TEST(VocabularyDocs, BridgeManualAndReadmeGiveTheRangesAndJsonKeys)
{
    const std::vector<std::string> commands = {
        std::string(retractionTorque.name) + "` | " + rangeText(retractionTorque),
        std::string(retractionStart.name) + "` | " + rangeText(retractionStart),
        "\"" + std::string(retractionTorque.jsonKey) + "\":", "\"" + std::string(retractionStart.jsonKey) + "\":",
        range(connectionTimeout), range(readingInterval)};
    expectSpelled("RavenlinkBridge/README.md", commands + groupWords(true, "\":"));

    expectSpelled("RavenlinkBridge/ravenlink-bridge.1",
                  std::vector<std::string>{"value: " + rangeText(retractionTorque),
                                           "value: " + rangeText(retractionStart),
                                           "\"" + std::string(retractionTorque.jsonKey) + "\": \"" +
                                               range(retractionTorque, "..") + "\"",
                                           "\"" + std::string(retractionStart.jsonKey) + "\": \"" +
                                               range(retractionStart, "..") + "\"",
                                           "timeout, " + range(connectionTimeout),
                                           "readings, " + range(readingInterval)} +
                      groupWords(true));
}
