int shared_counter;
int shared_get(void) { return shared_counter; }
