/* Compiled with -flto into LLVM bitcode, and without it into COFF, so
   that a library holds bitcode next to an ordinary object. */
int grid_[4];               /* tentative: COMMON in the COFF object */
int lto_init_[2] = {1, 2};  /* defined data */

void lto_touch_(void)
{
    grid_[0] += lto_init_[1];
}
