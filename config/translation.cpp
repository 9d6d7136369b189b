// translation: being written.
