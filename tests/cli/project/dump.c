/* Writes the bytes of both generated arrays, one after the other: each is named after its
   picture, so both headers go into one file. */
#include <stdio.h>

#include "my.logo.h"
#include "splash-screen.h"

#ifdef SPLIT_PICTURES
size_t picture_bytes(void);
#endif

int main(void)
{
#ifdef SPLIT_PICTURES
    if (picture_bytes() != sizeof my_logo + sizeof splash_screen)
        return 1;
#endif
    return fwrite(my_logo, 1, sizeof my_logo, stdout) > 0
            && fwrite(splash_screen, 1, sizeof splash_screen, stdout) > 0
        ? 0
        : 1;
}
