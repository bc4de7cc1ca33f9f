#pragma once

#include <QString>

// Numbers that name rather than count: of orders, invoices, accounts, contracts, documents and articles, postal
// codes, and whatever follows «№» or «номер». Such a number keeps its digits together: «номер заказа 123456».
namespace NumberIdentifiers
{
// «№», «номер», «заказа», «индекс», «инн»…: a word (lower case, "ё" as "е") that names the number after it.
bool namesNumber(const QString& word);
// Whether the number that starts at `start` in `text` is named by the words before it in its clause (up to
// three of them, «номер вашего заказа 123456»), or is a postal code that opens an address («123456, г. Москва»).
// The caller decides first whether a unit after the number makes it a quantity («счёт на 150 000 рублей»).
bool identifies(const QString& text, qsizetype start, qsizetype end);
} // namespace NumberIdentifiers
