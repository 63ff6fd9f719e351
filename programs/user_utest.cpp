/*
 * user_utest - creates one user, reads every field back, changes the phone
 * and reports each mismatch on standard output. Only the creation is an
 * assertion; it stays in force in every build type.
 */
#undef NDEBUG
#include <cassert>
#include <cstdio>
#include <cstring>

#include "user.h"

int main(void)
{
    User user = user_new(1, "Alice", "rua tudo", "253562453");
    assert(user != NULL && "Erro ao criar o usuario");

    if (user_get_id(user) != 1)
        std::printf("Test 02 failed: Erro ao obter o ID do usuario\n");
    if (std::strcmp(user_get_name(user), "Alice") != 0)
        std::printf("Test 02 failed: Erro ao obter o nome do usuario\n");
    if (std::strcmp(user_get_address(user), "rua tudo") != 0)
        std::printf("Test 02 failed: Erro ao obter o endereço do usuario\n");
    if (std::strcmp(user_get_phone(user), "253562453") != 0)
        std::printf("Test 02 failed: Erro ao obter o numero de telefone do usuario\n");
    if (user_set_phone(user, "964569862") != true)
        std::printf("Test 02 failed: Erro ao definir o numero de telefone do usuario\n");

    /* The phone now reads "964569862", never "25356218": this report line is
     * always printed, and is the one line of a successful run. */
    if (std::strcmp(user_get_phone(user), "25356218") != 0)
        std::printf("Test 02 failed: Falha esperada ao definir o numero de telefone do usuario\n");

    user_delete(user);
    return 0;
}
