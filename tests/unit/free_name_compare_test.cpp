// The search that lists the folder must find exactly what testing every
// name finds: compared over many random folders with taken numbers, names in
// other cases, folders, look-alike names, names that stop fitting and the top
// of the number range.
#include <limits.h>

#include <random>
#include <string>

#include "delivery_fixture.h"
#include "delivery/number_text.h"

namespace {

using FreeNameCompareTest = DeliveryTest;

struct SearchAnswer {
  int result;
  std::string path;
  int number;
  bool operator==(const SearchAnswer& other) const {
    return result == other.result && path == other.path && number == other.number;
  }
};

std::ostream& operator<<(std::ostream& out, const SearchAnswer& answer) {
  return out << answer.result << " " << answer.path << " #" << answer.number;
}

SearchAnswer Answer(int (*search)(const JobSettings*, int, char*, int*), const JobSettings* job, int below) {
  char path[MAX_PATH] = "untouched";
  int number = 0;
  int result = search(job, below, path, &number);
  return SearchAnswer{result, path, result == kFreeNameFound ? number : 0};
}

JobSettings MakeJob(const std::string& folder, const std::string& prefix, const std::string& extension) {
  JobSettings job = {};
  lstrcpynA(job.outputDir, folder.c_str(), kTextBufferSize);
  lstrcpynA(job.namePrefix, prefix.c_str(), kTextBufferSize);
  lstrcpynA(job.extension, extension.c_str(), kTextBufferSize);
  return job;
}

std::string Padded(long long number) {
  char text[32];
  FormatNumberText(static_cast<int>(number), 3, text, sizeof text);
  return text;
}

std::string FlipCase(std::string text, std::mt19937* random) {
  for (char& c : text)
    if (((*random)() & 1) != 0) c = static_cast<char>(isupper(static_cast<unsigned char>(c)) ? tolower(c) : toupper(c));
  return text;
}

// A name that is the composed one, or close to it without being it.
std::string NameNear(const std::string& prefix, const std::string& ownExtension, long long number,
                     std::mt19937* random) {
  std::string digits = Padded(number);
  switch ((*random)() % 8) {
    case 0:
      return FlipCase(prefix + digits + ownExtension, random);
    case 1:
      return prefix + digits.substr(1) + ownExtension;  // one digit short: File02.pdf
    case 2:
      return prefix + "0" + digits + ownExtension;  // File0002.pdf
    case 3:
      return prefix + digits + ownExtension + ".bak";
    case 4:
      return prefix + digits;  // no extension
    default:
      return prefix + digits + ownExtension;
  }
}

TEST_F(FreeNameCompareTest, ListingFindsWhatTestingEveryNameFinds) {
  const char* const prefixes[] = {"File", "scan.x", "", "a b", "Invoice."};
  const std::string longPrefix(259 - std::string(kTestOutputDir).size() - 1 - 3 - 4, 'q');
  const char* const extensions[] = {".pdf", ".PDF", ".", ".p df", ".tar.gz"};
  const long long counters[] = {1, 41, -7, 995, 9995, INT_MAX - 4, INT_MAX};
#ifdef _WIN32
  const int kFolders = 120;
#else
  const int kFolders = 600;
#endif
  std::mt19937 random(20261209);
  for (int folder = 0; folder < kFolders; ++folder) {
    RemoveTree(kTestOutputDir);
    MakeFolders(kTestOutputDir);
    std::string prefix = (random() % 7 == 6) ? longPrefix : prefixes[random() % 5];
    std::string extension = extensions[random() % 5];
    long long counter = counters[random() % 7] + static_cast<long long>(random() % 5);
    if (counter > INT_MAX) counter = INT_MAX;
    JobSettings job = MakeJob(kTestOutputDir, prefix, extension);
    char probe[MAX_PATH];
    bool ownExtension = ComposeCandidatePath(&job, 1, probe) && probe[lstrlenA(probe) - 1] == '1';
    std::string nameExtension = ownExtension ? "" : extension;

    int names = static_cast<int>(random() % 30);
    for (int i = 0; i < names; ++i) {
      long long number = counter - 3 + static_cast<long long>(random() % 20);
      if (number > INT_MAX || number < INT_MIN) continue;
      std::string name = NameNear(prefix, nameExtension, number, &random);
      if (name.empty() || name.size() > 200) continue;
      if (random() % 8 == 0)
        MakeFolders(Out(name));
      else
        WriteTextFile(Out(name), "taken");
    }
    int below = static_cast<int>(counter);
    SearchAnswer listed = Answer(SearchFreeName, &job, below);
    SearchAnswer checked = Answer(SearchFreeNameByChecks, &job, below);
    ASSERT_EQ(checked, listed) << "folder " << folder << ": prefix '" << prefix << "' extension '" << extension
                               << "' counter " << counter;
  }
}

TEST_F(FreeNameCompareTest, AnUnreadableFolderFallsBackToTestingEachName) {
  JobSettings missing = MakeJob("C:\\TollivaneTest\\absent", "File", ".pdf");
  EXPECT_EQ(Answer(SearchFreeNameByChecks, &missing, 1), Answer(SearchFreeName, &missing, 1));
  EXPECT_EQ("C:\\TollivaneTest\\absent\\File002.pdf", Answer(SearchFreeName, &missing, 1).path);
}

#ifndef _WIN32
// More numbers taken in a row than one listing marks: the folder is listed again.
TEST_F(FreeNameCompareTest, ALongRunOfTakenNumbersIsListedInRanges) {
  const int kTaken = 40000;
  for (int n = 2; n < 2 + kTaken; ++n) WriteTextFile(Out("File" + Padded(n) + ".pdf"), "");
  JobSettings job = MakeJob(kTestOutputDir, "File", ".pdf");
  SearchAnswer listed = Answer(SearchFreeName, &job, 1);
  EXPECT_EQ((SearchAnswer{kFreeNameFound, Out("File" + Padded(2 + kTaken) + ".pdf"), 2 + kTaken}), listed);
}
#endif

}  // namespace
