/* The code of the version test files: nothing; only their resources matter. */
int qvx_version_file_stub(void) { return 0; }
