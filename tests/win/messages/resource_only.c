/* The module holds only its message table; this keeps the linker content. */
int kestrel_test_messages_marker;
