// The save request as the program fills it, seen through the stand-in's seam
// (the real dialog shows only its effects, which the prompt tests check).
#include <string.h>

#include "delivery_fixture.h"

namespace {

OPENFILENAMEA lastRequest;
char proposedPath[MAX_PATH];

BOOL RecordAndCancel(OPENFILENAMEA* request) {
  lastRequest = *request;
  lstrcpynA(proposedPath, request->lpstrFile, MAX_PATH);
  return FALSE;
}

using SaveRequestTest = DeliveryTest;

TEST_F(SaveRequestTest, RequestHasOnlyTheFieldsTheDialogNeeds) {
  WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\n");
  HostSetSaveDialogHandler(RecordAndCancel);
  RunDelivery();
  HostSetSaveDialogHandler(nullptr);
  EXPECT_EQ(OPENFILENAME_SIZE_VERSION_400A, lastRequest.lStructSize);
  EXPECT_EQ(nullptr, lastRequest.hwndOwner);
  const char filters[] = "All\0*.*\0Pdf\0*.pdf\0";  // and the final zero
  EXPECT_EQ(0, memcmp(filters, lastRequest.lpstrFilter, sizeof filters));
  EXPECT_EQ(1u, lastRequest.nFilterIndex);
  EXPECT_EQ(static_cast<DWORD>(MAX_PATH), lastRequest.nMaxFile);
  EXPECT_STREQ(kTestOutputDir, lastRequest.lpstrInitialDir);
  EXPECT_EQ(0x802u, lastRequest.Flags);
  EXPECT_EQ(nullptr, lastRequest.lpstrTitle);
  EXPECT_EQ(nullptr, lastRequest.lpstrDefExt);
  EXPECT_EQ(nullptr, lastRequest.lpstrFileTitle);
  EXPECT_EQ(nullptr, lastRequest.lpstrCustomFilter);
  EXPECT_EQ(nullptr, lastRequest.lpfnHook);
  EXPECT_EQ(nullptr, lastRequest.lpTemplateName);
  EXPECT_STREQ((std::string(kTestOutputDir) + "\\File002.pdf").c_str(), proposedPath);
}

}  // namespace
