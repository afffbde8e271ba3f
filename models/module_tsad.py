# placeholder
def MyFunc(*args):
    return None