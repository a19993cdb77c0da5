// Linked into the second host program (qrt_file_sample_host.exe): section
// .qrtfile of the program's file holds these marker bytes, which the tests
// take as a FILE signature. Nothing refers to them.
extern "C" {

__attribute__((section(".qrtfile"), used)) const char kFileSample[48] =
    "QRT file sample: marker bytes, nothing more. <>";

}  // extern "C"
