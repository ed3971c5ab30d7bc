int qvx_version_file_stub(void) { return 0; } /* only the resources matter */
