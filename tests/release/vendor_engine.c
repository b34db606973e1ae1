/* Stands for the vendor's engine in the release tests: a DLL with the engine's five exports, which
   the packaging takes as it would take the real one (the real one is not ours to have). */
__declspec(dllexport) int InitDownloadObj(void* params) { return params != 0; }
__declspec(dllexport) void VerifyDataofRZB(void) {}
__declspec(dllexport) void DownloadRun(int* flag) { (void)flag; }
__declspec(dllexport) void DownloadStop(void) {}
__declspec(dllexport) void ReleaseDownloadObj(void) {}
