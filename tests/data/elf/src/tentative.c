/* With -fcommon a tentative definition is a COMMON symbol; an initialized
   one, a zero-initialized one and a static one are not. */
int counter;
double table_[16];
char flags_[3];
int initialized = 1;
int zeroed = 0;
static int hidden;
extern int elsewhere;
__thread int per_thread;
__attribute__((weak)) int weak_var = 2;

static void helper(void) { hidden += elsewhere; }
void work(void) { helper(); counter++; per_thread++; }
__attribute__((weak)) void weak_work(void) { }

static int impl(void) { return 1; }
static int (*pick(void))(void) { return impl; }
int chosen(void) __attribute__((ifunc("pick")));
