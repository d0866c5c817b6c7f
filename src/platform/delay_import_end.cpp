// Ends the delay-import table. dlltool's delay-import library puts its
// descriptor in section .text$2 and nothing after it; readers of the table
// (the PE header's directory entry, filled after linking) expect an entry of
// zeros at its end. Sections named .text$<x> are sorted by name, so this one
// follows the descriptors. It is kept through the link by -u, not by a use.
extern "C" {
__attribute__((section(".text$2z"), aligned(4))) extern const unsigned char tollivaneDelayImportEnd[32];
const unsigned char tollivaneDelayImportEnd[32] = {};
}
