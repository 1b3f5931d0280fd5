/*
 * A QEMU TCG plugin that counts the guest instructions a program executes,
 * exactly: every translated instruction gets an inline add of 1 to the
 * counter, done each time it runs (conditional instructions included, as an
 * emulator's execution trace shows them). At exit the count is written to
 * the file given as out=FILE, or to standard error.
 *
 *   cc -O2 -shared -fPIC -o libinsn_count.so insn_count_plugin.c
 *   qemu-arm -plugin ./libinsn_count.so,out=count.txt PROGRAM ...
 *
 * Debian's qemu-user ships the plugin interface but not its header, so the
 * few declarations needed are written out here as QEMU 7.2 defines them
 * (plugin API version 1). The same count comes from an execution trace with
 * one instruction per translation block (qemu-arm -singlestep
 * -d exec,nochain, one "Trace" line per instruction), only some hundred
 * times slower; docs/PERFORMANCE.md gives the comparison.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef uint64_t qemu_plugin_id_t;
typedef struct qemu_info_t qemu_info_t;
struct qemu_plugin_tb;
struct qemu_plugin_insn;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 = 0 };

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id,
                                           void (*cb)(qemu_plugin_id_t, struct qemu_plugin_tb*));
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
struct qemu_plugin_insn* qemu_plugin_tb_get_insn(const struct qemu_plugin_tb* tb, size_t idx);
void qemu_plugin_register_vcpu_insn_exec_inline(struct qemu_plugin_insn* insn, enum qemu_plugin_op op, void* ptr,
                                                uint64_t imm);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, void (*cb)(qemu_plugin_id_t, void*), void* userdata);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

static uint64_t executed;
static char out_path[4096];

static void translate(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
    (void)id;
    const size_t n = qemu_plugin_tb_n_insns(tb);
    for (size_t i = 0; i < n; ++i)
        qemu_plugin_register_vcpu_insn_exec_inline(qemu_plugin_tb_get_insn(tb, i), QEMU_PLUGIN_INLINE_ADD_U64,
                                                   &executed, 1);
}

static void report(qemu_plugin_id_t id, void* userdata) {
    (void)id;
    (void)userdata;
    FILE* f = out_path[0] ? fopen(out_path, "w") : stderr;
    if (!f)
        return;
    fprintf(f, "%llu\n", (unsigned long long)executed);
    if (f != stderr)
        fclose(f);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info,
                                                               int argc, char** argv) {
    (void)info;
    for (int i = 0; i < argc; ++i) {
        if (strncmp(argv[i], "out=", 4) == 0 && strlen(argv[i] + 4) < sizeof out_path)
            strcpy(out_path, argv[i] + 4);
        else
            return -1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, translate);
    qemu_plugin_register_atexit_cb(id, report, 0);
    return 0;
}
