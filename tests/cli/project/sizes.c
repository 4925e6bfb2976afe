/* A second file of the program that reads the split pictures' arrays: declared here again, they
   are defined once, in their own C files. */
#include <stddef.h>

#include "my.logo.h"
#include "splash-screen.h"

size_t picture_bytes(void);

size_t picture_bytes(void)
{
    return sizeof my_logo + sizeof splash_screen + (size_t)(my_logo[0] - 'B') + (size_t)(splash_screen[1] - 'M');
}
