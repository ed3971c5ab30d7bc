/* The programs of the download dialog tests are never run; only their resources matter. */
int main(void) { return 0; }
